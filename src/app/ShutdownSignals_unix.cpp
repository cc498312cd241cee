#include "ShutdownSignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int wakeFds[2] = {-1, -1};

extern "C" void OnShutdownSignal(int sig)
{
    const int savedErrno = errno; // the interrupted code may be about to read it
    const char byte = char(sig);
    [[maybe_unused]] const ssize_t n = ::write(wakeFds[0], &byte, 1);
    errno = savedErrno;
}
} // namespace

struct ShutdownSignals::Private
{
    QSocketNotifier *notifier = nullptr;
};

void ShutdownSignals::IgnoreClosedPipes() { std::signal(SIGPIPE, SIG_IGN); }

ShutdownSignals::ShutdownSignals(QObject *parent) : QObject(parent), d(new Private)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakeFds) != 0)
        return;
    d->notifier = new QSocketNotifier(wakeFds[1], QSocketNotifier::Read, this);
    connect(d->notifier, &QSocketNotifier::activated, this, [this] {
        char buf[16];
        bool end = false, status = false, reload = false;
        for (ssize_t n; (n = ::read(wakeFds[1], buf, sizeof buf)) > 0;)
            for (ssize_t i = 0; i < n; ++i)
                (buf[i] == SIGUSR1 ? status : buf[i] == SIGHUP ? reload : end) = true;
        if (status)
            emit StatusRequested();
        if (reload)
            emit ReloadRequested();
        if (end)
            emit Requested();
    });
    struct sigaction sa = {};
    sa.sa_handler = OnShutdownSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGUSR1})
        sigaction(sig, &sa, nullptr);
}

ShutdownSignals::~ShutdownSignals()
{
    struct sigaction sa = {};
    sa.sa_handler = SIG_DFL;
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGUSR1})
        sigaction(sig, &sa, nullptr);
    delete d->notifier; // before the descriptor it watches goes
    delete d;
    for (int &fd : wakeFds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}
