// Raw non-blocking sockets behind one epoll descriptor, which a single QSocketNotifier
// watches. Each readiness pass asks epoll for everything that is ready, so the event
// loop sees one descriptor however many clients there are, and a reply normally leaves
// in the same pass with one send().
#include "SocketControl.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

constexpr int ReadChunk = 64 * 1024;
constexpr int EventsPerPass = 128;
constexpr int AcceptsPerPass = 64;
constexpr int AcceptRetryMs = 100;
constexpr int CloseSweepMs = 500;

struct Conn
{
    int fd = -1;
    quint32 gen = 0;
    int slot = 0;               // 0 once detached from its slot and draining
    QByteArray in;
    QByteArray out;
    qsizetype outPos = 0;       // bytes of out already sent
    quint32 events = 0;         // current epoll interest; 0 = not registered
    bool peerEof = false;       // the client shut its sending side
    bool failed = false;        // descriptor gone after an error, slot awaits Close
    bool notified = false;      // PeerClosed raised for this connection
    bool closing = false;
    bool shutSent = false;
    QDeadlineTimer closeDeadline;
    sockaddr_storage peer{};
    socklen_t peerLen = 0;

    qsizetype Unsent() const { return out.size() - outPos; }
};

quint64 KeyOf(int fd, quint32 gen) { return (quint64(gen) << 32) | quint32(fd); }

QString AddressText(const sockaddr_storage &a, socklen_t len)
{
    char buf[INET6_ADDRSTRLEN] = {};
    if (a.ss_family == AF_INET && len >= sizeof(sockaddr_in)) {
        const auto *v4 = reinterpret_cast<const sockaddr_in *>(&a);
        if (inet_ntop(AF_INET, &v4->sin_addr, buf, sizeof buf))
            return QString::fromLatin1(buf);
    } else if (a.ss_family == AF_INET6 && len >= sizeof(sockaddr_in6)) {
        const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(&a);
        // An IPv4 client on the dual-stack listener shows as ::ffff:a.b.c.d.
        if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
            if (inet_ntop(AF_INET, &v6->sin6_addr.s6_addr[12], buf, sizeof buf))
                return QString::fromLatin1(buf);
        } else if (inet_ntop(AF_INET6, &v6->sin6_addr, buf, sizeof buf)) {
            return QString::fromLatin1(buf);
        }
    }
    return QString();
}

bool Retryable(int err) { return err == EAGAIN || err == EWOULDBLOCK || err == EINTR; }

} // namespace

class SocketControl::Engine
{
public:
    explicit Engine(SocketControl *q);
    ~Engine();

    SocketControl *q;
    int epfd = -1;
    QSocketNotifier *notifier = nullptr;
    QTimer sweepTimer;

    quint16 port = 0;
    int listenFd = -1;
    quint32 listenGen = 0;
    quint32 nextGen = 1;

    struct Pending
    {
        int fd = -1;
        sockaddr_storage peer{};
        socklen_t peerLen = 0;
    } pending;

    struct Slot
    {
        bool loaded = false;
        std::unique_ptr<Conn> conn;
    };
    std::array<Slot, MaxSlots + 1> slotArray;
    std::vector<std::unique_ptr<Conn>> closing;
    std::vector<Conn *> byFd;                    // lookup for epoll events
    std::vector<std::unique_ptr<Conn>> graveyard; // freed when the current pass ends
    std::vector<Conn *> deferredClose;            // PeerClosed owed after the current event
    bool inPass = false;
    bool flushScheduled = false;
    bool notifierPaused = false;
    char scratch[ReadChunk];

    void OnReady();
    void HandleAccept();
    void HandleEvent(Conn *c, quint32 ev);
    void HandleRead(Conn *c);
    void FlushOutput(Conn *c);
    void UpdateInterest(Conn *c);
    void Register(Conn *c);
    void Fail(Conn *c, bool notifyNow);
    void Notify(Conn *c);
    void FlushDeferred();
    void ScheduleFlush();
    void FinishClosing(Conn *c);
    void Dispose(std::unique_ptr<Conn> c);
    std::unique_ptr<Conn> TakeClosing(Conn *c);
    void SweepClosing();
    void ReleaseFd(Conn *c);
    void StopListening();
    Conn *Lookup(quint64 key) const;
    Conn *SlotConn(int index) const;
};

SocketControl::Engine::Engine(SocketControl *owner) : q(owner)
{
    epfd = epoll_create1(EPOLL_CLOEXEC);
    if (epfd >= 0) {
        notifier = new QSocketNotifier(epfd, QSocketNotifier::Read, q);
        QObject::connect(notifier, &QSocketNotifier::activated, q, [this] { OnReady(); });
    }
    sweepTimer.setInterval(CloseSweepMs);
    QObject::connect(&sweepTimer, &QTimer::timeout, q, [this] { SweepClosing(); });
}

SocketControl::Engine::~Engine()
{
    delete notifier;
    if (pending.fd >= 0)
        ::close(pending.fd);
    if (listenFd >= 0)
        ::close(listenFd);
    for (Slot &s : slotArray)
        if (s.conn && s.conn->fd >= 0)
            ::close(s.conn->fd);
    for (auto &c : closing)
        if (c->fd >= 0)
            ::close(c->fd);
    if (epfd >= 0)
        ::close(epfd);
}

Conn *SocketControl::Engine::Lookup(quint64 key) const
{
    const int fd = int(key & 0xffffffffu);
    if (fd < 0 || size_t(fd) >= byFd.size())
        return nullptr;
    Conn *c = byFd[fd];
    return c && c->gen == quint32(key >> 32) ? c : nullptr;
}

Conn *SocketControl::Engine::SlotConn(int index) const
{
    if (index < 1 || index > MaxSlots)
        return nullptr;
    return slotArray[index].conn.get();
}

void SocketControl::Engine::OnReady()
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
        if (listenFd >= 0 && key == KeyOf(listenFd, listenGen)) {
            HandleAccept();
        } else if (Conn *c = Lookup(key)) {
            HandleEvent(c, events[i].events);
        }
        FlushDeferred();
    }
    graveyard.clear();
    inPass = false;
    if (notifierPaused) {
        notifierPaused = false;
        notifier->setEnabled(true);
    }
}

void SocketControl::Engine::HandleAccept()
{
    for (int i = 0; i < AcceptsPerPass && listenFd >= 0; ++i) {
        Pending p;
        p.peerLen = sizeof p.peer;
        p.fd = accept4(listenFd, reinterpret_cast<sockaddr *>(&p.peer), &p.peerLen,
                       SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (p.fd < 0) {
            const int err = errno;
            if (err == EINTR || err == ECONNABORTED)
                continue;
            if (err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM) {
                // Out of descriptors: the listener would stay ready and spin; look again
                // a little later.
                epoll_ctl(epfd, EPOLL_CTL_DEL, listenFd, nullptr);
                const int fd = listenFd;
                const quint32 gen = listenGen;
                QTimer::singleShot(AcceptRetryMs, q, [this, fd, gen] {
                    if (listenFd == fd && listenGen == gen) {
                        epoll_event ev{};
                        ev.events = EPOLLIN;
                        ev.data.u64 = KeyOf(fd, gen);
                        epoll_ctl(epfd, EPOLL_CTL_ADD, fd, &ev);
                    }
                });
            }
            return;
        }
        pending = p;
        emit q->ConnectionRequest(0, qintptr(p.fd));
        if (pending.fd >= 0)
            ::close(pending.fd);
        pending = Pending();
    }
}

void SocketControl::Engine::HandleEvent(Conn *c, quint32 ev)
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

void SocketControl::Engine::HandleRead(Conn *c)
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
    if (c->in.size() >= InputBound)
        UpdateInterest(c);
    emit q->DataArrival(c->slot, c->in.size());
}

void SocketControl::Engine::FlushOutput(Conn *c)
{
    const ssize_t n = ::send(c->fd, c->out.constData() + c->outPos, size_t(c->Unsent()),
                             MSG_NOSIGNAL | MSG_DONTWAIT);
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

void SocketControl::Engine::UpdateInterest(Conn *c)
{
    if (c->fd < 0)
        return;
    quint32 want = 0;
    if (!c->peerEof
        && (c->closing || (c->Unsent() < OutputBound && c->in.size() < InputBound)))
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

void SocketControl::Engine::Register(Conn *c)
{
    if (byFd.size() <= size_t(c->fd))
        byFd.resize(size_t(c->fd) + 64, nullptr);
    byFd[c->fd] = c;
    UpdateInterest(c);
}

void SocketControl::Engine::ReleaseFd(Conn *c)
{
    if (c->fd < 0)
        return;
    if (c->events)
        epoll_ctl(epfd, EPOLL_CTL_DEL, c->fd, nullptr);
    byFd[c->fd] = nullptr;
    ::close(c->fd);
    c->fd = -1;
    c->events = 0;
}

// A failed read or send ends that connection alone, as if the client had closed it.
void SocketControl::Engine::Fail(Conn *c, bool notifyNow)
{
    ReleaseFd(c);
    c->in = QByteArray();
    c->out = QByteArray();
    c->outPos = 0;
    if (c->closing) {
        Dispose(TakeClosing(c));
        return;
    }
    c->failed = true;
    if (c->notified)
        return;
    if (notifyNow) {
        Notify(c);
    } else {
        deferredClose.push_back(c);
        ScheduleFlush();
    }
}

void SocketControl::Engine::Notify(Conn *c)
{
    if (c->notified)
        return;
    c->notified = true;
    emit q->PeerClosed(c->slot);
}

// Close notifications owed by a send that failed inside a handler: raised once that
// handler is done, and only if the slot still holds that connection.
void SocketControl::Engine::FlushDeferred()
{
    while (!deferredClose.empty()) {
        Conn *c = deferredClose.front();
        deferredClose.erase(deferredClose.begin());
        for (int i = 1; i <= MaxSlots; ++i) {
            if (slotArray[i].conn.get() == c) {
                Notify(c);
                break;
            }
        }
    }
}

void SocketControl::Engine::ScheduleFlush()
{
    if (inPass || flushScheduled)
        return;
    flushScheduled = true;
    QMetaObject::invokeMethod(
        q,
        [this] {
            flushScheduled = false;
            FlushDeferred();
        },
        Qt::QueuedConnection);
}

// The queued replies have left a closing connection: say we are done sending, then
// release it once the client closes too (or the deadline passes), so that bytes the client
// still sends do not turn into a reset that could destroy replies in flight.
void SocketControl::Engine::FinishClosing(Conn *c)
{
    if (c->peerEof) {
        Dispose(TakeClosing(c));
        return;
    }
    if (!c->shutSent) {
        ::shutdown(c->fd, SHUT_WR);
        c->shutSent = true;
    }
    UpdateInterest(c);
}

void SocketControl::Engine::Dispose(std::unique_ptr<Conn> c)
{
    if (!c)
        return;
    ReleaseFd(c.get());
    // Pointers to it may still sit in the current pass or the deferred list.
    std::erase(deferredClose, c.get());
    if (inPass)
        graveyard.push_back(std::move(c));
}

std::unique_ptr<Conn> SocketControl::Engine::TakeClosing(Conn *c)
{
    auto it = std::find_if(closing.begin(), closing.end(),
                           [c](const std::unique_ptr<Conn> &p) { return p.get() == c; });
    if (it == closing.end())
        return nullptr;
    std::unique_ptr<Conn> owned = std::move(*it);
    closing.erase(it);
    if (closing.empty())
        sweepTimer.stop();
    return owned;
}

void SocketControl::Engine::SweepClosing()
{
    std::vector<Conn *> expired;
    for (auto &c : closing)
        if (c->closeDeadline.hasExpired())
            expired.push_back(c.get());
    for (Conn *c : expired)
        Dispose(TakeClosing(c));
}

void SocketControl::Engine::StopListening()
{
    if (listenFd < 0)
        return;
    epoll_ctl(epfd, EPOLL_CTL_DEL, listenFd, nullptr);
    ::close(listenFd);
    listenFd = -1;
}

// ---------------------------------------------------------------------------------------

SocketControl::SocketControl(QObject *parent) : QObject(parent), d_(std::make_unique<Engine>(this))
{
}

SocketControl::~SocketControl() = default;

bool SocketControl::SetLocalPort(qint64 port)
{
    if (port < 0 || port > 65535)
        return false;
    d_->port = quint16(port);
    return true;
}

bool SocketControl::Listen()
{
    Engine &e = *d_;
    if (e.listenFd >= 0 || e.epfd < 0)
        return false;

    auto tryListen = [&e](int family) -> int {
        const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return -errno;
        const int one = 1, zero = 0;
        // Lets a restart bind while old connections linger in TIME_WAIT; Linux still
        // refuses a port on which any other socket listens, on either protocol.
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        int rc;
        if (family == AF_INET6) {
            setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
            sockaddr_in6 a{};
            a.sin6_family = AF_INET6;
            a.sin6_addr = in6addr_any;
            a.sin6_port = htons(e.port);
            rc = ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        } else {
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_ANY);
            a.sin_port = htons(e.port);
            rc = ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        }
        if (rc == 0)
            rc = ::listen(fd, SOMAXCONN);
        if (rc != 0) {
            const int err = errno;
            ::close(fd);
            return -err;
        }
        return fd;
    };

    int fd = tryListen(AF_INET6);
    // Only a system without IPv6 falls back; a port in use or not allowed is an answer.
    if (fd == -EAFNOSUPPORT || fd == -EADDRNOTAVAIL || fd == -EPROTONOSUPPORT)
        fd = tryListen(AF_INET);
    if (fd < 0)
        return false;

    e.listenFd = fd;
    e.listenGen = e.nextGen++;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = KeyOf(fd, e.listenGen);
    if (epoll_ctl(e.epfd, EPOLL_CTL_ADD, fd, &ev) != 0) {
        e.StopListening();
        return false;
    }
    return true;
}

quint16 SocketControl::LocalPort() const
{
    if (d_->listenFd >= 0) {
        sockaddr_storage a{};
        socklen_t len = sizeof a;
        if (getsockname(d_->listenFd, reinterpret_cast<sockaddr *>(&a), &len) == 0) {
            if (a.ss_family == AF_INET6)
                return ntohs(reinterpret_cast<sockaddr_in6 *>(&a)->sin6_port);
            if (a.ss_family == AF_INET)
                return ntohs(reinterpret_cast<sockaddr_in *>(&a)->sin_port);
        }
    }
    return d_->port;
}

bool SocketControl::Load(int index)
{
    if (index < 1 || index > MaxSlots || d_->slotArray[index].loaded)
        return false;
    d_->slotArray[index].loaded = true;
    return true;
}

void SocketControl::Unload(int index)
{
    if (index < 1 || index > MaxSlots)
        return;
    Close(index);
    d_->slotArray[index].loaded = false;
}

bool SocketControl::IsLoaded(int index) const
{
    if (index == 0)
        return true;
    return index >= 1 && index <= MaxSlots && d_->slotArray[index].loaded;
}

bool SocketControl::Accept(int index, qintptr requestID)
{
    Engine &e = *d_;
    if (index < 1 || index > MaxSlots || !e.slotArray[index].loaded)
        return false;
    if (e.pending.fd < 0 || qintptr(e.pending.fd) != requestID)
        return false;
    Engine::Slot &slot = e.slotArray[index];
    if (slot.conn && !slot.conn->failed)
        return false;
    if (slot.conn)
        e.Dispose(std::move(slot.conn));

    auto c = std::make_unique<Conn>();
    c->fd = e.pending.fd;
    c->gen = e.nextGen++;
    c->slot = index;
    c->peer = e.pending.peer;
    c->peerLen = e.pending.peerLen;
    e.pending.fd = -1;
    const int one = 1;
    // Each reply is one write; it must not wait for the previous one's acknowledgement.
    setsockopt(c->fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    slot.conn = std::move(c);
    e.Register(slot.conn.get());
    return true;
}

QByteArray SocketControl::GetData(int index, qint64 maxLen)
{
    Conn *c = d_->SlotConn(index);
    if (!c || c->in.isEmpty())
        return QByteArray();
    QByteArray data;
    if (maxLen < 0 || maxLen >= c->in.size()) {
        data = std::exchange(c->in, QByteArray());
    } else {
        data = c->in.left(maxLen);
        c->in.remove(0, maxLen);
    }
    d_->UpdateInterest(c);
    return data;
}

bool SocketControl::SendData(int index, const QByteArray &data)
{
    Engine &e = *d_;
    Conn *c = e.SlotConn(index);
    if (!c || c->fd < 0)
        return false;
    if (data.isEmpty())
        return true;
    if (c->Unsent() == 0) {
        const ssize_t n = ::send(c->fd, data.constData(), size_t(data.size()),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n == data.size())
            return true;
        if (n < 0 && !Retryable(errno)) {
            e.Fail(c, false);
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
    e.UpdateInterest(c);
    return true;
}

void SocketControl::Close(int index)
{
    Engine &e = *d_;
    if (index == 0) {
        e.StopListening();
        return;
    }
    if (index < 1 || index > MaxSlots || !e.slotArray[index].conn)
        return;
    std::unique_ptr<Conn> c = std::move(e.slotArray[index].conn);
    if (c->fd < 0 || c->Unsent() == 0) {
        e.Dispose(std::move(c));
        return;
    }
    // Queued replies still leave; the slot is free at once.
    c->closing = true;
    c->slot = 0;
    c->in = QByteArray();
    c->closeDeadline = QDeadlineTimer(CloseTimeoutMs);
    Conn *raw = c.get();
    e.closing.push_back(std::move(c));
    e.UpdateInterest(raw);
    if (!e.sweepTimer.isActive())
        e.sweepTimer.start();
}

QString SocketControl::RemoteHostIP(int index) const
{
    const Conn *c = d_->SlotConn(index);
    return c ? AddressText(c->peer, c->peerLen) : QString();
}

qint64 SocketControl::QueuedOutput(int index) const
{
    const Conn *c = d_->SlotConn(index);
    return c ? c->Unsent() : 0;
}

qint64 SocketControl::BufferedBytes() const
{
    qint64 total = 0;
    for (const auto &s : d_->slotArray)
        if (s.conn)
            total += s.conn->in.size() + s.conn->Unsent();
    for (const auto &c : d_->closing)
        total += c->in.size() + c->Unsent();
    return total;
}
