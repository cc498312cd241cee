#include "ShutdownSignals.h"

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {
// The signal handler's only way to the instance that owns the signals: the sending end of
// its wake pipe. One instance owns them at a time; another one made meanwhile stays inert
// instead of taking them over (and leaving the first one watching a pipe nobody writes).
std::atomic<int> ownerWakeFd{-1};

extern "C" void OnShutdownSignal(int sig)
{
    const int savedErrno = errno; // the interrupted code may be about to read it
    const char byte = char(sig);
    [[maybe_unused]] const ssize_t n = ::write(ownerWakeFd.load(), &byte, 1);
    errno = savedErrno;
}

constexpr int Handled[] = {SIGTERM, SIGINT, SIGHUP, SIGUSR1};
} // namespace

struct ShutdownSignals::Private
{
    int wakeFds[2] = {-1, -1};
    QSocketNotifier *notifier = nullptr;
};

void ShutdownSignals::IgnoreClosedPipes() { std::signal(SIGPIPE, SIG_IGN); }

ShutdownSignals::ShutdownSignals(QObject *parent) : QObject(parent), d(new Private)
{
    int *wakeFds = d->wakeFds;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakeFds) != 0)
        return;
    if (int none = -1; !ownerWakeFd.compare_exchange_strong(none, wakeFds[0])) {
        for (int &fd : d->wakeFds)
            ::close(std::exchange(fd, -1));
        return;
    }
    d->notifier = new QSocketNotifier(wakeFds[1], QSocketNotifier::Read, this);
    connect(d->notifier, &QSocketNotifier::activated, this, [this, wakeFds] {
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
    for (int sig : Handled)
        sigaction(sig, &sa, nullptr);
}

ShutdownSignals::~ShutdownSignals()
{
    if (d->notifier) { // the owner
        struct sigaction sa = {};
        sa.sa_handler = SIG_DFL;
        for (int sig : Handled)
            sigaction(sig, &sa, nullptr);
        ownerWakeFd = -1;
        delete d->notifier; // before the descriptor it watches goes
        for (int fd : d->wakeFds)
            ::close(fd);
    }
    delete d;
}
