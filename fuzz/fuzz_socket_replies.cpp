// The reply path over a real socket: a loopback client sends the input as a series of
// chunks (some large, some with a half-close or a reset behind them) to the socket layer,
// wired the way the main window wires it. However the bytes are cut into arrivals, the
// handler must see every byte sent, once, in order, and the client must get exactly the
// replies the handler built.
#include "FuzzCheck.h"
#include "SlotTable.h"
#include "SocketControl.h"
#include "TimeReply.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHash>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>

namespace {

const QByteArray Stamp = "05DEC26220252";
constexpr int WaitMs = 5000;

// What the server side did, per accepted connection (numbered from 1).
struct Server : QObject
{
    SocketControl sockets;
    SlotTable table;
    int accepted = 0;
    QHash<int, int> connectionOfSlot;
    QHash<int, QByteArray> requests;
    QHash<int, QByteArray> replies;
    int peerCloses = 0;

    Server()
    {
        connect(&sockets, &SocketControl::ConnectionRequest, this, [this](int, qintptr id) {
            const auto pick = table.Take();
            if (!pick)
                return;
            if (pick->isNew)
                sockets.Load(pick->slot);
            if (sockets.Accept(pick->slot, id))
                connectionOfSlot[pick->slot] = ++accepted;
        });
        connect(&sockets, &SocketControl::DataArrival, this, [this](int index, qint64 total) {
            const int c = connectionOfSlot.value(index);
            const QByteArray request = sockets.GetData(index, total);
            FUZZ_CHECK(request.size() == total);
            requests[c] += request;
            const QByteArray reply = BuildTimeReply(request, Stamp);
            if (sockets.SendData(index, reply))
                replies[c] += reply;
        });
        connect(&sockets, &SocketControl::PeerClosed, this, [this](int index) {
            ++peerCloses;
            sockets.Close(index);
            table.Free(index);
        });
    }
};

Server *server = nullptr;

bool Spin(const std::function<bool()> &done)
{
    QDeadlineTimer deadline(WaitMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

struct Client
{
    int fd = -1;
    int connection = 0;
    QByteArray sent;
    QByteArray received;
    bool eof = false;

    bool Open()
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(server->sockets.LocalPort());
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0)
            return false;
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        const int expected = server->accepted + 1;
        connection = expected;
        return Spin([&] { return server->accepted >= expected; });
    }

    void Read()
    {
        char buf[65536];
        for (;;) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n > 0) {
                received.append(buf, n);
                continue;
            }
            if (n == 0)
                eof = true;
            return;
        }
    }

    // Sends while reading, so that a large request cannot stall on its own replies.
    bool Send(const QByteArray &data)
    {
        qsizetype done = 0;
        QDeadlineTimer deadline(WaitMs);
        while (done < data.size()) {
            const ssize_t n = ::send(fd, data.constData() + done, size_t(data.size() - done),
                                     MSG_NOSIGNAL);
            if (n > 0)
                done += n;
            else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                return false;
            Read();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            if (deadline.hasExpired())
                return false;
        }
        sent += data;
        return true;
    }

    // Everything sent has reached the handler and every reply has reached the client.
    void CheckComplete()
    {
        FUZZ_CHECK(Spin([&] {
            Read();
            return server->requests.value(connection).size() == sent.size()
                   && received.size() == server->replies.value(connection).size();
        }));
        FUZZ_CHECK(server->requests.value(connection) == sent);
        FUZZ_CHECK(received == server->replies.value(connection));
    }

    // A reset leaves no TIME_WAIT behind, so that long runs do not use up the ports.
    void Reset()
    {
        linger l{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        ::close(fd);
        fd = -1;
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The replay tests bring their own application object.
    if (!QCoreApplication::instance())
        new QCoreApplication(*argc, *argv);
    server = new Server;
    FUZZ_CHECK(server->sockets.SetLocalPort(0) && server->sockets.Listen());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const int closesBefore = server->peerCloses;
    int opened = 0;
    auto client = std::make_unique<Client>();
    FUZZ_CHECK(client->Open());
    ++opened;

    size_t pos = 0;
    while (pos < size) {
        const uint8_t op = data[pos++];
        const size_t length = 1 + (op >> 3); // 1..32 bytes from the input
        const QByteArray chunk(reinterpret_cast<const char *>(data + pos),
                               qsizetype(std::min(length, size - pos)));
        pos += size_t(chunk.size());
        switch (op & 7) {
        case 0: case 1: case 2: case 3: // a chunk, without waiting for its reply
            if (!chunk.isEmpty())
                FUZZ_CHECK(client->Send(chunk));
            break;
        case 4: // wait for every reply so far
            client->CheckComplete();
            break;
        case 5: // a large request, past the layer's input and output bounds
            FUZZ_CHECK(client->Send(chunk.isEmpty() ? QByteArray(300000, 'L')
                                                    : chunk.repeated(300000 / chunk.size() + 1)));
            break;
        case 6: // half-close: what was sent is still answered, then the server closes
            client->CheckComplete();
            ::shutdown(client->fd, SHUT_WR);
            FUZZ_CHECK(Spin([&] { client->Read(); return client->eof; }));
            FUZZ_CHECK(client->received == server->replies.value(client->connection));
            client->Reset();
            client = std::make_unique<Client>();
            FUZZ_CHECK(client->Open());
            ++opened;
            break;
        case 7: // reset in the middle of whatever is in flight
            client->Reset();
            client = std::make_unique<Client>();
            FUZZ_CHECK(client->Open());
            ++opened;
            break;
        }
    }
    client->CheckComplete();
    client->Reset();
    // Every connection of this input has been let go, and nothing is left buffered.
    FUZZ_CHECK(Spin([&] { return server->peerCloses - closesBefore == opened; }));
    FUZZ_CHECK(Spin([&] { return server->sockets.BufferedBytes() == 0; }));
    server->requests.clear();
    server->replies.clear();
    return 0;
}
