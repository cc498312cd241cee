#pragma once
// Loopback clients for the tests: plain non-blocking sockets, every wait bounded. A test
// whose server runs in its own thread gives the client a pump (the event loop), a test of
// the real program in another process needs none.
#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <random>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

inline bool LoopbackAddress(const char *text, quint16 port, sockaddr_storage &a, socklen_t &len)
{
    addrinfo hints{}, *found = nullptr;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    if (::getaddrinfo(text, QByteArray::number(port).constData(), &hints, &found) != 0)
        return false;
    std::memcpy(&a, found->ai_addr, len = found->ai_addrlen);
    ::freeaddrinfo(found);
    return true;
}

// A listener on one protocol only ("0.0.0.0" or "::"), as another program may hold a
// port, or (passed) a dual-stack one that children inherit, as a service manager passes
// it; -1 when the port is taken there.
inline int HoldPort(const char *any, quint16 port, bool passed = false)
{
    sockaddr_storage a;
    socklen_t len;
    if (!LoopbackAddress(any, port, a, len))
        return -1;
    const int fd = ::socket(a.ss_family, SOCK_STREAM | (passed ? 0 : SOCK_CLOEXEC), 0);
    const int v6only = !passed;
    ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &v6only, sizeof v6only);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), len) == 0 && ::listen(fd, 8) == 0)
        return fd;
    ::close(fd);
    return -1;
}

// A port below the ephemeral range that nothing holds on IPv4 or IPv6 now, so that the
// many short connections of a test never collide with ports the system hands out; tests
// running side by side each reserve theirs with a lock held for the life of the process.
inline quint16 FreeFixedPort()
{
    std::mt19937 random(std::random_device{}());
    const QByteArray folder = qgetenv("TMPDIR").isEmpty() ? "/tmp/tallix-test-ports" : qgetenv("TMPDIR") + "/tallix-test-ports";
    ::mkdir(folder.constData(), 01777);
    for (int attempt = 0; attempt < 200; ++attempt) {
        const quint16 port = quint16(20000 + random() % 12000);
        const int lock = ::open((folder + '/' + QByteArray::number(port)).constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
        const int v4 = ::flock(lock, LOCK_EX | LOCK_NB) == 0 ? HoldPort("0.0.0.0", port) : -1, v6 = v4 < 0 ? -1 : HoldPort("::", port);
        ::close(v4), ::close(v6);
        if (v4 >= 0 && v6 >= 0)
            return port; // the lock stays open until the process ends
        ::close(lock);
    }
    return 0;
}

// Request data without a colon, so that a stream of replies splits unambiguously.
inline QByteArray Pattern(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        data[i] = char('a' + (i * 7 + i / 251) % 26);
    return data;
}

// What a stream of replies (data without colons, ":", a 13-character stamp of digits and an
// English month) echoes; none when a stamp is malformed or, unless partial, the last reply
// is cut short (partial: what the complete ones echo).
inline std::optional<QByteArray> Echoed(const QByteArray &stream, bool partial = false)
{
    qsizetype pos = 0;
    QByteArray echoed;
    for (qsizetype colon; (colon = stream.indexOf(':', pos)) >= 0 && colon + 14 <= stream.size(); pos = colon + 14) {
        for (int i = 0; i < 13; ++i)
            if (const uchar c = stream[colon + 1 + i]; (i >= 2 && i <= 4) ? !std::isupper(c) : !std::isdigit(c))
                return std::nullopt;
        echoed += stream.mid(pos, colon - pos);
    }
    return partial || pos == stream.size() ? std::optional(echoed) : std::nullopt;
}

inline bool IsReplyTo(const QByteArray &reply, const QByteArray &request) { return Echoed(reply) == request; }

class LoopbackClient
{
public:
    explicit LoopbackClient(std::function<void()> pump = {}) : pump_(std::move(pump)) {}
    LoopbackClient(const LoopbackClient &) = delete;
    LoopbackClient &operator=(const LoopbackClient &) = delete;
    ~LoopbackClient() { Reset(); }

    // From a given loopback source address when one is named (127.0.0.2 ...).
    bool Connect(quint16 port, const char *address = "127.0.0.1", const char *source = nullptr)
    {
        sockaddr_storage a, s;
        socklen_t len, slen;
        if (!LoopbackAddress(address, port, a, len))
            return false;
        fd_ = ::socket(a.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (source && (!LoopbackAddress(source, 0, s, slen) || ::bind(fd_, reinterpret_cast<sockaddr *>(&s), slen) != 0))
            return false;
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (::connect(fd_, reinterpret_cast<sockaddr *>(&a), len) != 0 && errno != EINPROGRESS)
            return false;
        int err = 0;
        socklen_t errLen = sizeof err;
        return Wait(POLLOUT, {}, 5000) && ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &errLen) == 0 && err == 0;
    }

    // Sends everything, reading what comes back meanwhile so that replies cannot stall it.
    bool SendAll(const QByteArray &data, int timeoutMs = 30000)
    {
        return Flood(data, timeoutMs, [this] { ReadAvailable(), Wait(POLLOUT | POLLIN, {}, 5); }) == data.size();
    }

    void ReadAvailable()
    {
        char buf[65536];
        ssize_t n;
        while ((n = ::recv(fd_, buf, sizeof buf, 0)) > 0)
            received_.append(buf, n);
        if (n == 0)
            eof_ = true;
        else if (errno != EAGAIN && errno != EWOULDBLOCK)
            error_ = true;
    }

    bool ReadUntil(const std::function<bool()> &done, int timeoutMs = 10000)
    {
        const auto read = [&] { return ReadAvailable(), done() || Ended(); };
        return Wait(POLLIN, read, timeoutMs) && done();
    }
    bool WaitForEnd(int timeoutMs = 10000)
    {
        return ReadUntil([this] { return Ended(); }, timeoutMs);
    }
    // Reads until the replies echo as much as was sent; true when they echo exactly that, in
    // order, each byte once.
    bool EchoesAll(const QByteArray &sent)
    {
        ReadUntil([&] { return Echoed(received_, true).value_or(sent).size() >= sent.size(); });
        return Echoed(received_) == sent;
    }
    // Sends as fast as the socket takes it for at most timeoutMs, reading nothing back
    // unless each() does (a client that does not read); how much was taken, -1 on an error.
    qint64 Flood(const QByteArray &data, int timeoutMs, const std::function<void()> &each = {})
    {
        qint64 sent = 0;
        for (QDeadlineTimer deadline(timeoutMs); sent < data.size() && !deadline.hasExpired(); each ? each() : void()) {
            const ssize_t n = ::send(fd_, data.constData() + sent, size_t(qMin<qint64>(65536, data.size() - sent)), MSG_NOSIGNAL);
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                return -1;
            sent += qMax<ssize_t>(n, 0); // 0: the socket is full
            if (pump_)
                pump_();
        }
        return sent;
    }

    // One request and its reply: the request, ":" and the 13-character stamp.
    QByteArray Ask(const QByteArray &request, int timeoutMs = 10000)
    {
        received_.clear();
        const bool replied = SendAll(request, timeoutMs) && ReadUntil([&] { return received_.size() >= request.size() + 14; }, timeoutMs);
        return replied ? received_ : QByteArray();
    }

    void ShutdownWrite() { ::shutdown(fd_, SHUT_WR); }
    // Ends with a reset: no TIME_WAIT is left on either side.
    void Reset()
    {
        if (fd_ < 0)
            return;
        linger l{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        ::close(fd_);
        fd_ = -1;
    }

    QByteArray &Received() { return received_; }
    bool Ended() const { return eof_ || error_; }
    bool WasReset() const { return error_; }

private:
    bool Wait(short events, const std::function<bool()> &until, int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            if (until && until())
                return true;
            pollfd p{fd_, events, 0};
            const bool ready = ::poll(&p, 1, pump_ ? 1 : 5) > 0;
            if (pump_)
                pump_();
            if (ready && !until)
                return true;
            if (deadline.hasExpired())
                return false;
        }
    }

    std::function<void()> pump_;
    int fd_ = -1;
    QByteArray received_;
    bool eof_ = false;
    bool error_ = false;
};

// For a server in the test's own thread: its events run while the test waits.
inline void PumpEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents, 1); }

inline bool WaitFor(const std::function<bool()> &done, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired())
        PumpEvents();
    return done();
}

struct PumpedClient : LoopbackClient
{
    PumpedClient() : LoopbackClient(PumpEvents) {}
};

// One exchange: the request, then everything until the server closes ("(no end)" if it does not).
inline QByteArray Exchange(quint16 port, const QByteArray &request, const char *address = "127.0.0.1", std::function<void()> pump = {})
{
    LoopbackClient c(std::move(pump));
    return c.Connect(port, address) && c.SendAll(request) && c.WaitForEnd() ? c.Received() : QByteArray("(no end)");
}
