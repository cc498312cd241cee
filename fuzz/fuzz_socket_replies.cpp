// The reply path over a real socket: a loopback client sends the input as a series of
// chunks (some large, some with a half-close or a reset behind them) to the connection
// service. However the bytes are cut into arrivals, the client must get back every byte
// it sent, once and in order, each run of them followed by ":" and the stamp, and the
// service must let go of every connection and every buffered byte.
#include "ConnectionService.h"
#include "FakeTime.h"
#include "FuzzCheck.h"
#include "Loopback.h"

#include <QCoreApplication>

#include <memory>

namespace {

struct Server
{
    FakeTime time;
    DateText texts{QLocale::c()};
    ConnectionService service{time.zone, time.clock, texts, {[] { return 0; }, [] { return 0; }, [] { return QString(); }, [] { return QString(); }}};
    int closes = 0;
} *server = nullptr;

struct Client : LoopbackClient
{
    QByteArray sent;
    Client() : LoopbackClient(PumpEvents) { FUZZ_CHECK(Connect(server->service.socServer().LocalPort())); }

    void Send(QByteArray data)
    {
        data.replace(':', ';'); // the colon only ever separates a reply from its stamp
        FUZZ_CHECK(SendAll(data, 10000));
        sent += data;
    }

    // Every byte sent has come back inside complete replies.
    void CheckComplete() { FUZZ_CHECK(EchoesAll(sent)); }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The replay tests bring their own application object.
    if (!QCoreApplication::instance())
        new QCoreApplication(*argc, *argv);
    server = new Server;
    SocketControl &sockets = server->service.socServer();
    QObject::connect(&sockets, &SocketControl::PeerClosed, [] { ++server->closes; });
    FUZZ_CHECK(sockets.SetLocalPort(0) && sockets.Listen());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const int closesBefore = server->closes;
    int opened = 1;
    auto client = std::make_unique<Client>();
    size_t pos = 0;
    while (pos < size) {
        const uint8_t op = data[pos++];
        const size_t length = 1 + (op >> 3); // 1..32 bytes from the input
        const QByteArray chunk(reinterpret_cast<const char *>(data + pos), qsizetype(std::min(length, size - pos)));
        pos += size_t(chunk.size());
        switch (op & 7) {
        case 4: // wait for every reply so far
            client->CheckComplete();
            break;
        case 5: // a large request, past the layer's input and output bounds
            client->Send(chunk.isEmpty() ? QByteArray(300000, 'L') : chunk.repeated(300000 / chunk.size() + 1));
            break;
        case 6: // half-close at once: what was sent is still answered, then the server closes
            client->ShutdownWrite();
            client->CheckComplete();
            FUZZ_CHECK(client->WaitForEnd());
            [[fallthrough]];
        case 7: // a reset in the middle of whatever is in flight
            client = std::make_unique<Client>();
            ++opened;
            break;
        default: // a chunk, without waiting for its reply
            if (!chunk.isEmpty())
                client->Send(chunk);
        }
    }
    client->CheckComplete();
    client.reset();
    // Every connection of this input has been let go, and nothing is left buffered.
    FUZZ_CHECK(WaitFor([&] { return server->closes - closesBefore == opened; }));
    FUZZ_CHECK(WaitFor([&] { return server->service.socServer().BufferedBytes() == 0; }));
    return 0;
}
