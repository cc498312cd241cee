// The socket layer alone, wired as the main window wires it (lowest free slot, one reply
// per arrival with the real stamp, close on the client's close), without any window: it
// measures the layer while the full program is benchmarked by run-bench.sh.
//
//   tallix-layer-server --port P [--max-seconds S] [--fixed-stamp]
//
// --fixed-stamp answers with a constant stamp, to tell the layer's cost from the clock's.
#include "ReplyStamper.h"
#include "SlotTable.h"
#include "SocketControl.h"
#include "TimeReply.h"

#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    long port = 0, maxSeconds = 600;
    bool fixedStamp = false;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--port") && i + 1 < argc)
            port = atol(argv[++i]);
        else if (!strcmp(argv[i], "--max-seconds") && i + 1 < argc)
            maxSeconds = atol(argv[++i]);
        else if (!strcmp(argv[i], "--fixed-stamp"))
            fixedStamp = true;
    }
    const QByteArray constantStamp = "05DEC26220252";
    signal(SIGTERM, [](int) { QCoreApplication::quit(); });
    signal(SIGINT, [](int) { QCoreApplication::quit(); });

    SocketControl sockets;
    SlotTable table;
    TimeZone zone;
    ReplyStamper stamper(zone, QLocale::system());
    QObject::connect(&sockets, &SocketControl::ConnectionRequest, [&](int, qintptr id) {
        const auto pick = table.Take();
        if (!pick)
            return;
        if (pick->isNew)
            sockets.Load(pick->slot);
        sockets.Accept(pick->slot, id);
    });
    QObject::connect(&sockets, &SocketControl::DataArrival, [&](int index, qint64 total) {
        const QByteArray request = sockets.GetData(index, total);
        sockets.SendData(index, BuildTimeReply(request, fixedStamp ? constantStamp : stamper.Stamp(0)));
    });
    QObject::connect(&sockets, &SocketControl::PeerClosed, [&](int index) {
        sockets.Close(index);
        table.Free(index);
    });
    if (!sockets.SetLocalPort(port) || !sockets.Listen()) {
        fprintf(stderr, "cannot listen on port %ld\n", port);
        return 1;
    }
    QTimer::singleShot(maxSeconds * 1000, &app, &QCoreApplication::quit);
    return app.exec();
}
