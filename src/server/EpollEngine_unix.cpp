#include "EpollEngine.h"

#include "AddressText.h"
#include "DualStackListener.h"
#include "SocketControl.h"

#include <QSocketNotifier>

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <unistd.h>

namespace {

constexpr int EventsPerPass = 128;
constexpr int CloseSweepMs = 500;

bool Retryable(int err) { return err == EAGAIN || err == EWOULDBLOCK || err == EINTR; }

} // namespace

std::unique_ptr<SocketEngine> MakeSocketEngine(SocketControl &owner) { return std::make_unique<EpollEngine>(owner); }

EpollEngine::EpollEngine(SocketControl &owner) : q(owner)
{
    epfd = epoll_create1(EPOLL_CLOEXEC);
    if (epfd >= 0) {
        notifier = new QSocketNotifier(epfd, QSocketNotifier::Read, &q);
        QObject::connect(notifier, &QSocketNotifier::activated, &q, [this] { OnReady(); });
    }
    sweepTimer.setInterval(CloseSweepMs);
    QObject::connect(&sweepTimer, &QTimer::timeout, &q, [this] { SweepClosing(); });
}

EpollEngine::~EpollEngine()
{
    delete notifier;
    if (pending.fd >= 0)
        ::close(pending.fd);
    for (int fd : listenFds)
        ::close(fd);
    for (auto &c : slotConn)
        if (c && c->fd >= 0)
            ::close(c->fd);
    for (auto &c : closing)
        if (c->fd >= 0)
            ::close(c->fd);
    if (epfd >= 0)
        ::close(epfd);
}

EpollEngine::Conn *EpollEngine::Lookup(quint64 key) const
{
    const int fd = int(key & 0xffffffffu);
    if (fd < 0 || size_t(fd) >= byFd.size())
        return nullptr;
    Conn *c = byFd[fd];
    return c && c->gen == quint32(key >> 32) ? c : nullptr;
}

void EpollEngine::OnReady()
{
    if (inPass) {
        // A handler runs a nested event loop (a modal box): the descriptor stays ready, so
        // mute it until the outer pass is over instead of spinning.
        notifier->setEnabled(false);
        notifierPaused = true;
        return;
    }
    inPass = true;
    epoll_event events[EventsPerPass];
    const int n = epoll_wait(epfd, events, EventsPerPass, 0);
    for (int i = 0; i < n; ++i) {
        const quint64 key = events[i].data.u64;
        if (const int listener = ListenerOf(key); listener >= 0)
            HandleAccept(listener);
        else if (Conn *c = Lookup(key))
            HandleEvent(c, events[i].events);
        FlushDeferred();
    }
    graveyard.clear();
    inPass = false;
    if (notifierPaused) {
        notifierPaused = false;
        notifier->setEnabled(true);
    }
}

bool EpollEngine::Accept(int slot, qintptr requestID)
{
    if (pending.fd < 0 || qintptr(pending.fd) != requestID)
        return false;
    std::unique_ptr<Conn> &held = slotConn[slot];
    if (held && !held->failed)
        return false;
    if (held)
        Dispose(std::move(held));

    auto c = std::make_unique<Conn>();
    c->fd = pending.fd;
    c->gen = nextGen++;
    c->slot = slot;
    c->peer = pending.peer;
    c->peerLen = pending.peerLen;
    pending.fd = -1;
    const int one = 1;
    // Each reply is one write; it must not wait for the previous one's acknowledgement.
    setsockopt(c->fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    held = std::move(c);
    Register(held.get());
    return true;
}

void EpollEngine::HandleEvent(Conn *c, quint32 ev)
{
    const quint64 key = KeyOf(c->fd, c->gen);
    if (c->Unsent() > 0 && (ev & (EPOLLOUT | EPOLLERR | EPOLLHUP))) {
        FlushOutput(c);
        c = Lookup(key);
        if (!c)
            return;
    }
    if (c->events & EPOLLIN) {
        if (ev & (EPOLLIN | EPOLLERR | EPOLLHUP))
            HandleRead(c);
    } else if (ev & (EPOLLERR | EPOLLHUP)) {
        // Not reading, nothing to send, and the connection is gone: stop watching it so
        // a level-triggered hang-up does not wake every pass.
        if (ev & EPOLLERR)
            Fail(c, true);
        else if (c->events) {
            epoll_ctl(epfd, EPOLL_CTL_DEL, c->fd, nullptr);
            c->events = 0;
        }
    }
}

void EpollEngine::HandleRead(Conn *c)
{
    const ssize_t n = ::recv(c->fd, scratch, sizeof scratch, 0);
    if (n < 0) {
        if (!Retryable(errno))
            Fail(c, true);
        return;
    }
    if (c->closing) {
        // Bytes that arrive while queued replies drain are not answered any more.
        if (n == 0) {
            c->peerEof = true;
            if (c->Unsent() == 0)
                Dispose(TakeClosing(c));
            else
                UpdateInterest(c);
        }
        return;
    }
    if (n == 0) {
        c->peerEof = true;
        UpdateInterest(c);
        Notify(c);
        return;
    }
    c->in.append(scratch, n);
    if (c->in.size() >= SocketControl::InputBound)
        UpdateInterest(c);
    RaiseDataArrival(q, c->slot, c->in.size());
}

QByteArray EpollEngine::Read(int slot, qint64 maxLen)
{
    Conn *c = slotConn[slot].get();
    if (!c || c->in.isEmpty())
        return QByteArray();
    QByteArray data;
    if (maxLen < 0 || maxLen >= c->in.size()) {
        data = std::exchange(c->in, QByteArray());
    } else {
        data = c->in.left(maxLen);
        c->in.remove(0, maxLen);
    }
    UpdateInterest(c);
    return data;
}

QByteArray EpollEngine::Peek(int slot) const
{
    const Conn *c = slotConn[slot].get();
    return c ? c->in : QByteArray();
}

bool EpollEngine::Move(int from, int to)
{
    std::unique_ptr<Conn> &held = slotConn[to];
    if (!slotConn[from] || (held && !held->failed))
        return false;
    if (held)
        Dispose(std::move(held));
    held = std::move(slotConn[from]);
    held->slot = to;
    return true;
}

bool EpollEngine::Send(int slot, const QByteArray &data)
{
    Conn *c = slotConn[slot].get();
    if (!c || c->fd < 0)
        return false;
    if (data.isEmpty())
        return true;
    if (c->Unsent() == 0) {
        const ssize_t n = ::send(c->fd, data.constData(), size_t(data.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n == data.size())
            return true;
        if (n < 0 && !Retryable(errno)) {
            Fail(c, false);
            return false;
        }
        c->out = data; // shared, not copied
        c->outPos = n > 0 ? n : 0;
    } else {
        if (c->outPos > 0 && c->outPos >= c->out.size() / 2) {
            c->out.remove(0, c->outPos);
            c->outPos = 0;
        }
        c->out.append(data);
    }
    UpdateInterest(c);
    return true;
}

void EpollEngine::FlushOutput(Conn *c)
{
    const ssize_t n = ::send(c->fd, c->out.constData() + c->outPos, size_t(c->Unsent()), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
        if (!Retryable(errno))
            Fail(c, true);
        return;
    }
    c->outPos += n;
    if (c->Unsent() == 0) {
        c->out = QByteArray();
        c->outPos = 0;
        if (c->closing) {
            FinishClosing(c);
            return;
        }
    }
    UpdateInterest(c);
}

// Reading pauses while too much is unsent or unread, so a client that never takes its
// replies cannot grow the process; it resumes as the buffers drain.
void EpollEngine::UpdateInterest(Conn *c)
{
    if (c->fd < 0)
        return;
    quint32 want = 0;
    if (!c->peerEof
        && (c->closing || (c->Unsent() < SocketControl::OutputBound && c->in.size() < SocketControl::InputBound)))
        want |= EPOLLIN;
    if (c->Unsent() > 0)
        want |= EPOLLOUT;
    if (want == c->events)
        return;
    epoll_event ev{};
    ev.events = want;
    ev.data.u64 = KeyOf(c->fd, c->gen);
    // Unregistered when nothing is wanted: a hang-up is reported regardless of the mask
    // and would otherwise wake every pass.
    if (want == 0)
        epoll_ctl(epfd, EPOLL_CTL_DEL, c->fd, nullptr);
    else
        epoll_ctl(epfd, c->events ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, c->fd, &ev);
    c->events = want;
}

void EpollEngine::Register(Conn *c)
{
    if (byFd.size() <= size_t(c->fd))
        byFd.resize(size_t(c->fd) + 64, nullptr);
    byFd[c->fd] = c;
    UpdateInterest(c);
}

QHostAddress EpollEngine::PendingPeer(qintptr requestID) const
{
    if (pending.fd < 0 || qintptr(pending.fd) != requestID)
        return QHostAddress();
    return QHostAddress(reinterpret_cast<const sockaddr *>(&pending.peer));
}

QString EpollEngine::PeerAddress(int slot) const
{
    const Conn *c = slotConn[slot].get();
    return c ? ClientAddressText(QHostAddress(reinterpret_cast<const sockaddr *>(&c->peer))) : QString();
}

qint64 EpollEngine::QueuedOutput(int slot) const
{
    const Conn *c = slotConn[slot].get();
    return c ? c->Unsent() : 0;
}

qint64 EpollEngine::BufferedBytes() const
{
    qint64 total = 0;
    for (const auto &c : slotConn)
        if (c)
            total += c->in.size() + c->Unsent();
    for (const auto &c : closing)
        total += c->in.size() + c->Unsent();
    return total;
}
