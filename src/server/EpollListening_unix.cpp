// The epoll layer's listeners: one it opens itself on a port, or those a service manager
// opened and handed over, and the accepting on each.
#include "EpollEngine.h"

#include "DualStackListener.h"
#include "SocketControl.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/epoll.h>
#include <unistd.h>

namespace {

constexpr int AcceptsPerPass = 64;
constexpr int AcceptRetryMs = 100;

} // namespace

bool EpollEngine::Listen(quint16 port)
{
    if (!listenFds.empty() || epfd < 0)
        return false;
    const int fd = DualStackListener::Open(port);
    return fd >= 0 && StartListening({fd});
}

bool EpollEngine::Adopt(const std::vector<qintptr> &listeners)
{
    std::vector<int> fds(listeners.begin(), listeners.end());
    if (!listenFds.empty() || epfd < 0 || fds.empty()) {
        for (int fd : fds)
            ::close(fd);
        return false;
    }
    // A handed-over socket may block, and one accept too many would then hang the pass.
    for (int fd : fds)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return StartListening(fds);
}

bool EpollEngine::StartListening(const std::vector<int> &fds)
{
    listenGen = nextGen++;
    for (int fd : fds) {
        listenFds.push_back(fd);
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = KeyOf(fd, listenGen);
        if (epoll_ctl(epfd, EPOLL_CTL_ADD, fd, &ev) != 0) {
            for (int rest : fds)
                if (std::find(listenFds.begin(), listenFds.end(), rest) == listenFds.end())
                    ::close(rest);
            StopListening();
            return false;
        }
    }
    return true;
}

// Only this process's copy closes: clients queued on a socket a service manager still
// holds wait there for the next process.
void EpollEngine::StopListening()
{
    for (int fd : listenFds) {
        epoll_ctl(epfd, EPOLL_CTL_DEL, fd, nullptr);
        ::close(fd);
    }
    listenFds.clear();
}

quint16 EpollEngine::BoundPort() const
{
    return listenFds.empty() ? 0 : DualStackListener::BoundPort(listenFds.front());
}

bool EpollEngine::DualStack() const { return !listenFds.empty() && DualStackListener::IsDualStack(listenFds.front()); }

bool EpollEngine::Listens(int fd) const { return std::find(listenFds.begin(), listenFds.end(), fd) != listenFds.end(); }

int EpollEngine::ListenerOf(quint64 key) const
{
    const int fd = int(key & 0xffffffffu);
    return quint32(key >> 32) == listenGen && Listens(fd) ? fd : -1;
}

void EpollEngine::HandleAccept(int listener)
{
    for (int i = 0; i < AcceptsPerPass && Listens(listener); ++i) {
        Pending p;
        p.peerLen = sizeof p.peer;
        p.fd = accept4(listener, reinterpret_cast<sockaddr *>(&p.peer), &p.peerLen, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (p.fd < 0) {
            const int err = errno;
            if (err == EINTR || err == ECONNABORTED)
                continue;
            if (err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM)
                PauseAccepting(listener);
            return;
        }
        pending = p;
        RaiseConnectionRequest(q, qintptr(p.fd));
        if (pending.fd >= 0)
            ::close(pending.fd);
        pending = Pending();
    }
}

// Out of descriptors: the listener would stay ready and spin; look again a little later.
void EpollEngine::PauseAccepting(int listener)
{
    epoll_ctl(epfd, EPOLL_CTL_DEL, listener, nullptr);
    const quint32 gen = listenGen;
    QTimer::singleShot(AcceptRetryMs, &q, [this, listener, gen] {
        if (Listens(listener) && listenGen == gen) {
            epoll_event ev{};
            ev.events = EPOLLIN;
            ev.data.u64 = KeyOf(listener, gen);
            epoll_ctl(epfd, EPOLL_CTL_ADD, listener, &ev);
        }
    });
}
