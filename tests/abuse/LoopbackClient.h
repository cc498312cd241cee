#pragma once
#include <QByteArray>
#include <QDeadlineTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// A client of a server in another process: plain non-blocking socket, every wait bounded
// by poll() with a deadline.
class LoopbackClient
{
public:
    LoopbackClient() = default;
    LoopbackClient(const LoopbackClient &) = delete;
    LoopbackClient &operator=(const LoopbackClient &) = delete;
    ~LoopbackClient() { Reset(); }

    bool Connect(quint16 port, bool v6 = false)
    {
        fd_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0)
            return false;
        int rc;
        if (v6) {
            sockaddr_in6 a{};
            a.sin6_family = AF_INET6;
            a.sin6_port = htons(port);
            a.sin6_addr = in6addr_loopback;
            rc = ::connect(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a);
        } else {
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(port);
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            rc = ::connect(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a);
        }
        if (rc != 0) {
            Reset();
            return false;
        }
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return true;
    }

    // What the socket takes now: bytes taken, or -1 on error.
    qint64 SendSome(const char *data, qint64 len)
    {
        const ssize_t n = ::send(fd_, data, size_t(len), MSG_NOSIGNAL);
        if (n < 0)
            return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
        return n;
    }

    // Sends everything, reading what comes back meanwhile so that replies cannot stall it.
    bool SendAll(const QByteArray &data, int timeoutMs = 30000)
    {
        qint64 done = 0;
        QDeadlineTimer deadline(timeoutMs);
        while (done < data.size()) {
            const qint64 n = SendSome(data.constData() + done, data.size() - done);
            if (n < 0)
                return false;
            done += n;
            ReadAvailable();
            if (done < data.size()) {
                if (deadline.hasExpired())
                    return false;
                Poll(POLLOUT | POLLIN, 5);
            }
        }
        return true;
    }

    void ReadAvailable()
    {
        char buf[65536];
        for (;;) {
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n > 0) {
                received_.append(buf, n);
                continue;
            }
            if (n == 0)
                eof_ = true;
            else if (errno != EAGAIN && errno != EWOULDBLOCK)
                error_ = true;
            return;
        }
    }

    template <typename Done>
    bool ReadUntil(Done done, int timeoutMs = 10000)
    {
        QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            ReadAvailable();
            if (done())
                return true;
            if (eof_ || error_ || deadline.hasExpired())
                return false;
            Poll(POLLIN, 10);
        }
    }
    bool ReadBytes(qint64 n, int timeoutMs = 10000)
    {
        return ReadUntil([&] { return received_.size() >= n; }, timeoutMs);
    }
    // True once the server has ended the connection (orderly or by reset).
    bool WaitForEnd(int timeoutMs = 10000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!eof_ && !error_ && !deadline.hasExpired()) {
            ReadAvailable();
            if (!eof_ && !error_)
                Poll(POLLIN, 10);
        }
        return eof_ || error_;
    }

    // One request, one reply of its length plus the 14 bytes ":" and stamp.
    QByteArray Ask(const QByteArray &request, int timeoutMs = 10000)
    {
        received_.clear();
        if (!SendAll(request, timeoutMs) || !ReadBytes(request.size() + 14, timeoutMs))
            return QByteArray();
        return received_;
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

    // The orderly end (FIN); this side keeps the TIME_WAIT.
    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    void SetReceiveBuffer(int bytes) { ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes); }

    QByteArray &Received() { return received_; }
    bool Ended() const { return eof_ || error_; }
    int Fd() const { return fd_; }

private:
    void Poll(short events, int ms)
    {
        pollfd p{fd_, events, 0};
        ::poll(&p, 1, ms);
    }

    int fd_ = -1;
    QByteArray received_;
    bool eof_ = false;
    bool error_ = false;
};

// A reply as the protocol has it: the request, a colon and a 13-character stamp such as
// 05DEC26220252 (English month names).
inline bool IsReplyTo(const QByteArray &reply, const QByteArray &request)
{
    if (reply.size() != request.size() + 14 || !reply.startsWith(request)
        || reply.at(request.size()) != ':')
        return false;
    const QByteArray stamp = reply.right(13);
    for (int i : {0, 1, 5, 6, 7, 8, 9, 10, 11, 12})
        if (stamp.at(i) < '0' || stamp.at(i) > '9')
            return false;
    for (int i : {2, 3, 4})
        if (stamp.at(i) < 'A' || stamp.at(i) > 'Z')
            return false;
    return true;
}

// Splits a growing stream of replies to data without colons into the echoed parts, as far
// as the replies are complete. Each call carries on where the last one stopped, so a long
// stream is parsed once, not again at every read.
class ReplySplitter
{
public:
    // False once the stream is not such a sequence (a stamp of the wrong shape).
    bool Update(const QByteArray &stream)
    {
        while (ok_ && pos_ < stream.size()) {
            const qsizetype colon = stream.indexOf(':', pos_);
            if (colon < 0 || colon + 14 > stream.size())
                break; // the reply is not complete yet
            const QByteArray part = stream.mid(pos_, colon - pos_);
            if (!IsReplyTo(stream.mid(pos_, colon - pos_ + 14), part))
                ok_ = false;
            echoed_ += part;
            ++replies_;
            pos_ = colon + 14;
        }
        return ok_;
    }
    // Every byte of the stream belongs to a complete reply.
    bool Complete(const QByteArray &stream) const { return ok_ && pos_ == stream.size(); }

    const QByteArray &Echoed() const { return echoed_; }
    int Replies() const { return replies_; }

private:
    qsizetype pos_ = 0;
    QByteArray echoed_;
    int replies_ = 0;
    bool ok_ = true;
};
