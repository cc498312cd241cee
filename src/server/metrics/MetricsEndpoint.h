#pragma once
#include "HttpRequestHead.h"
#include "ListenAddress.h"
#include "MetricsText.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTcpServer>

#include <functional>
#include <unordered_map>

class QTcpSocket;

// A read-only HTTP endpoint for Prometheus: GET or HEAD /metrics answers the snapshot in
// the text format, any other path 404, any other method 405, and every answer closes the
// connection. It runs on the thread of the time service beside it, so it never waits:
// sockets are non-blocking, a request head is bounded, a scraper gets a bounded time for
// its whole exchange (one that sends slowly or never reads is dropped then), scrapers
// beyond a bounded number at once are closed at once, and beyond a bounded number of
// connections a second the endpoint stops accepting until the next second, so that even a
// flood of scrapes takes a bounded share of the thread (each costs tens of microseconds).
class MetricsEndpoint : public QObject
{
    Q_OBJECT
public:
    struct Limits
    {
        int scrapers = 8;
        int timeoutMs = 5000;
        qsizetype headBytes = 8192;
        int perSecond = 20;
    };

    MetricsEndpoint(std::function<MetricsSnapshot()> snapshot, Limits limits, QObject *parent = nullptr);

    // False when the address cannot be listened on; ErrorText then says why.
    bool Listen(const ListenAddress &where);
    QString ErrorText() const { return server_.errorString(); }
    quint16 Port() const { return server_.serverPort(); }
    // Scrapers connected and not answered yet, which the bound counts.
    int Scrapers() const { return int(heads_.size()); }

private:
    void OnNewConnection();
    void OnReadyRead(QTcpSocket *socket);
    QByteArray Answer(const HttpRequestHead &head) const;

    std::function<MetricsSnapshot()> snapshot_;
    Limits limits_;
    QTcpServer server_;
    std::unordered_map<QTcpSocket *, HttpRequestHead> heads_; // one for each scraper now
    QElapsedTimer second_;                                    // the current second's start
    int acceptedThisSecond_ = 0;
    bool paused_ = false;
};
