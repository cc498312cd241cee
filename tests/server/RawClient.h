#pragma once
#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <QTest>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>

// A loopback TCP client on a plain non-blocking socket, driven from the test's thread:
// every wait runs the event loop, so the server under test in the same thread keeps
// working while the client sends and reads.
class RawClient
{
public:
    RawClient() = default;
    RawClient(const RawClient &) = delete;
    RawClient &operator=(const RawClient &) = delete;
    ~RawClient() { Close(); }

    bool Connect(const char *address, quint16 port)
    {
        const bool v6 = QByteArray(address).contains(':');
        fd_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0)
            return false;
        int rc;
        if (v6) {
            sockaddr_in6 a{};
            a.sin6_family = AF_INET6;
            a.sin6_port = htons(port);
            inet_pton(AF_INET6, address, &a.sin6_addr);
            rc = ::connect(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a);
        } else {
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(port);
            inet_pton(AF_INET, address, &a.sin_addr);
            rc = ::connect(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a);
        }
        if (rc != 0) {
            Close();
            return false;
        }
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
        return true;
    }

    // Sends what the socket takes now; the number of bytes taken, -1 on error.
    qint64 SendSome(const char *data, qint64 len)
    {
        const ssize_t n = ::send(fd_, data, size_t(len), MSG_NOSIGNAL);
        if (n < 0)
            return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
        return n;
    }

    bool SendAll(const QByteArray &data, int timeoutMs = 10000)
    {
        qint64 done = 0;
        QDeadlineTimer deadline(timeoutMs);
        while (done < data.size() && !deadline.hasExpired()) {
            const qint64 n = SendSome(data.constData() + done, data.size() - done);
            if (n < 0)
                return false;
            done += n;
            if (done < data.size())
                QTest::qWait(1);
        }
        return done == data.size();
    }

    // Reads whatever is waiting into Received(); notes the end of the stream.
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

    // Reads at most maxBytes, to play a slow reader.
    void ReadSome(qint64 maxBytes)
    {
        QByteArray buf(maxBytes, Qt::Uninitialized);
        const ssize_t n = ::recv(fd_, buf.data(), size_t(maxBytes), 0);
        if (n > 0)
            received_.append(buf.constData(), n);
        else if (n == 0)
            eof_ = true;
        else if (errno != EAGAIN && errno != EWOULDBLOCK)
            error_ = true;
    }

    // Runs the event loop and reads until done() holds or the time is up.
    bool WaitUntil(const std::function<bool()> &done, int timeoutMs = 5000)
    {
        QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            ReadAvailable();
            if (done())
                return true;
            if (deadline.hasExpired())
                return false;
            QTest::qWait(1);
        }
    }
    bool WaitForBytes(qint64 n, int timeoutMs = 5000)
    {
        return WaitUntil([&] { return received_.size() >= n; }, timeoutMs);
    }
    bool WaitForEof(int timeoutMs = 5000)
    {
        return WaitUntil([&] { return eof_ || error_; }, timeoutMs);
    }

    void ShutdownWrite() { ::shutdown(fd_, SHUT_WR); }

    // Closes with a reset instead of the orderly end.
    void Reset()
    {
        linger l{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        Close();
    }

    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    void SetReceiveBuffer(int bytes) { ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes); }

    QByteArray &Received() { return received_; }
    bool AtEof() const { return eof_; }
    bool HadError() const { return error_; }
    int Fd() const { return fd_; }

private:
    int fd_ = -1;
    QByteArray received_;
    bool eof_ = false;
    bool error_ = false;
};
