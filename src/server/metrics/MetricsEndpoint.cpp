#include "MetricsEndpoint.h"

#include "HttpRequestHead.h"
#include "Readiness.h"
#include "ShutdownSending.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace {

QByteArray Response(const char *status, const QByteArray &type, const QByteArray &body, bool withBody,
                    const QByteArray &extra = QByteArray())
{
    return QByteArray("HTTP/1.1 ") + status + "\r\nContent-Type: " + type
           + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" + extra + "Connection: close\r\n\r\n"
           + (withBody ? body : QByteArray());
}

QByteArray Plain(const char *status, const QByteArray &text, bool withBody = true,
                 const QByteArray &extra = QByteArray())
{
    return Response(status, "text/plain; charset=utf-8", text + '\n', withBody, extra);
}

} // namespace

MetricsEndpoint::MetricsEndpoint(std::function<MetricsSnapshot()> snapshot, Limits limits, QObject *parent)
    : QObject(parent), snapshot_(std::move(snapshot)), limits_(limits)
{
    connect(&server_, &QTcpServer::newConnection, this, &MetricsEndpoint::OnNewConnection);
    // Connections past the bounds wait in the system's queue, not in the server's.
    server_.setMaxPendingConnections(limits_.scrapers);
}

bool MetricsEndpoint::Listen(const ListenAddress &where)
{
    // [::] is every address, IPv4 too, as for the time port; Qt would listen on IPv6 only,
    // out of reach of a container runtime's or balancer's IPv4 forwarding.
    const bool everywhere = where.host == QHostAddress(QHostAddress::AnyIPv6);
    return server_.listen(everywhere ? QHostAddress(QHostAddress::Any) : where.host, where.port);
}

void MetricsEndpoint::OnNewConnection()
{
    while (!paused_) {
        if (!second_.isValid() || second_.hasExpired(1000)) {
            second_.start();
            acceptedThisSecond_ = 0;
        }
        if (acceptedThisSecond_ >= limits_.perSecond) {
            paused_ = true;
            server_.pauseAccepting();
            // The second may have ended since the check above.
            QTimer::singleShot(std::max(1, 1000 - int(second_.elapsed()) + 1), this, [this] {
                paused_ = false;
                server_.resumeAccepting();
                OnNewConnection();
            });
            return;
        }
        QTcpSocket *socket = server_.nextPendingConnection();
        if (!socket)
            return;
        ++acceptedThisSecond_;
        socket->setParent(this);
        if (qsizetype(heads_.size()) >= limits_.scrapers) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        heads_.emplace(socket, HttpRequestHead(limits_.headBytes));
        connect(socket, &QObject::destroyed, this, [this, socket] { heads_.erase(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        // The whole exchange, answer included, has this long; then the scraper is dropped.
        QTimer::singleShot(limits_.timeoutMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        socket->setReadBufferSize(limits_.headBytes);
    }
}

void MetricsEndpoint::OnReadyRead(QTcpSocket *socket)
{
    HttpRequestHead &head = heads_.at(socket);
    if (head.Add(socket->readAll()) == HttpRequestHead::State::Incomplete)
        return;
    const QByteArray answer = Answer(head);
    heads_.erase(socket); // answered: no longer a scraper the bound counts
    // As the socket layers end a connection: the answer, then the end of sending; what the
    // scraper still sends is read and dropped until it closes (or the exchange's time-out),
    // since closing with unread bytes would reset it and could destroy the answer.
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    connect(socket, &QTcpSocket::bytesWritten, socket, [socket] {
        if (socket->bytesToWrite() == 0)
            ShutdownSending(socket->socketDescriptor());
    });
    socket->write(answer);
}

QByteArray MetricsEndpoint::Answer(const HttpRequestHead &head) const
{
    switch (head.Current()) {
    case HttpRequestHead::State::TooLarge:
        return Plain("431 Request Header Fields Too Large", "request head too large");
    case HttpRequestHead::State::Malformed: return Plain("400 Bad Request", "bad request");
    default: break;
    }
    const bool get = head.Method() == "GET", headOnly = head.Method() == "HEAD";
    const bool ready = head.Path() == "/ready";
    if (head.Path() != "/metrics" && !ready)
        return Plain("404 Not Found", "only /metrics and /ready are here", !headOnly);
    if (!get && !headOnly)
        return Plain("405 Method Not Allowed", "GET or HEAD only", true, "Allow: GET, HEAD\r\n");
    if (ready) {
        const QByteArray why = NotReadyReason(snapshot_());
        return why.isEmpty() ? Plain("200 OK", "ready", get) : Plain("503 Service Unavailable", why, get);
    }
    return Response("200 OK", MetricsContentType, RenderMetrics(snapshot_()), get);
}
