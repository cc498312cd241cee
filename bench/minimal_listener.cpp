// The start-up yardstick: the least a Qt widgets program does to show a window and accept
// clients on a port, for comparing the time server's time from exec to a listening port.
//
//   tallix-minimal-listener --port P
#include <QApplication>
#include <QHostAddress>
#include <QLabel>
#include <QTcpServer>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    quint16 port = 0;
    for (int i = 1; i + 1 < argc; ++i)
        if (!strcmp(argv[i], "--port"))
            port = quint16(atoi(argv[i + 1]));
    QLabel window(QStringLiteral("listening"));
    window.show();
    QTcpServer server;
    if (!server.listen(QHostAddress::Any, port)) {
        fprintf(stderr, "cannot listen on %u\n", port);
        return 1;
    }
    return app.exec();
}
