// The metrics endpoint: the request-head reader and the address text directly, the HTTP
// exchange on real loopback sockets, the text checked by Prometheus's own promtool.
#include "Loopback.h"
#include "MetricsEndpoint.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTest>

namespace {

const MetricsSnapshot Sample{{1, 2, 3, 4, 6, 5, 96}, 40, 7, 9, true, {ClockStatus::State::Synchronised, 0.0125, 4e-6}};

// Limits small enough to reach in a test.
const MetricsEndpoint::Limits Small{2, 300, 256};

} // namespace

class tst_Metrics : public QObject
{
    Q_OBJECT
    MetricsSnapshot current = Sample;
    MetricsEndpoint endpoint{[this] { return current; }, Small};
    quint16 port = 0;
    QByteArray Get(const QByteArray &request) { return Exchange(port, request, "::1", PumpEvents); }

private slots:
    void initTestCase()
    {
        QVERIFY(endpoint.Listen({QHostAddress::LocalHostIPv6, 0}));
        port = endpoint.Port();
    }

    void requestHead_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QByteArray>("verdict"); // once complete the method and the path
        QTest::newRow("split anywhere, CR LF split too")
            << QByteArrayList{"GE", "T /metrics HTTP/1.1\r", "\nHost: a\r\n\r", "\n"} << QByteArray("GET /metrics");
        QTest::newRow("bare LF, query left out") << QByteArrayList{"HEAD /metrics?x=1 HTTP/1.0\n\n"} << QByteArray("HEAD /metrics");
        QTest::newRow("bytes after the head") << QByteArrayList{"POST /x HTTP/1.1\r\n\r\nbody"} << QByteArray("POST /x");
        QTest::newRow("no blank line yet") << QByteArrayList{"GET /metrics HTTP/1.1\r\nHost: a\r\n"} << QByteArray("incomplete");
        QTest::newRow("not a path") << QByteArrayList{"GET metrics HTTP/1.1\r\n\r\n"} << QByteArray("malformed");
        QTest::newRow("not a method") << QByteArrayList{"G(T / HTTP/1.1\r\n\r\n"} << QByteArray("malformed");
        QTest::newRow("not HTTP/1") << QByteArrayList{"GET / HTTP/2\r\n\r\n"} << QByteArray("malformed");
        QTest::newRow("blank line past the bound") << QByteArrayList{"GET / HTTP/1.1\r\n" + QByteArray(40, 'h') + "\r\n\r\n"}
                                                   << QByteArray("too large");
    }
    void requestHead()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QByteArray, verdict);
        HttpRequestHead head(48);
        for (const QByteArray &chunk : chunks)
            head.Add(chunk);
        const QByteArray complete = head.Method() + ' ' + head.Path();
        QCOMPARE(QByteArrayList({"incomplete", complete, "malformed", "too large"}).at(int(head.Current())), verdict);
    }

    void listenAddress()
    {
        for (const char *good : {"127.0.0.1:9161", "[::1]:1", "[::]:65535", "0.0.0.0:80"})
            QCOMPARE(ListenAddress::FromText(QLatin1String(good)).value_or(ListenAddress()).Text(), QLatin1String(good));
        for (const char *bad : {"127.0.0.1", "::1:9161", "[127.0.0.1]:9161", "localhost:9161", "127.0.0.1:0", "127.0.0.1:65536", "127.0.0.1:+80",
                                "127.0.0.1:080", ":9161"})
            QVERIFY2(!ListenAddress::FromText(QLatin1String(bad)), bad);
    }

    void servesMetricsAndNothingElse()
    {
        const QByteArray body = RenderMetrics(Sample);
        const QByteArray got = Get("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY2(got.startsWith("HTTP/1.1 200 OK\r\n") && got.endsWith("\r\n\r\n" + body), got.constData());
        QVERIFY(got.contains("\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\n"));
        for (const char *line :
             {"\ntallix_refused_connections_total{reason=\"proxy_header\"} 4\n", "\ntallix_busy_slots_peak 9\n", "{reason=\"clock\"} 6\n",
              "\ntallix_clock_synchronized 1\n", "\ntallix_clock_maximum_error_seconds 0.0125\n", "\ntallix_clock_estimated_error_seconds 4e-06\n"})
            QVERIFY2(body.contains(line), line);
        // Unknown where the platform says nothing: no guess, no family.
        MetricsSnapshot unknown = Sample;
        unknown.clock = {};
        QVERIFY(!RenderMetrics(unknown).contains("tallix_clock_"));
        QProcess promtool;
        promtool.start(QStringLiteral("promtool"), {QStringLiteral("check"), QStringLiteral("metrics")});
        QVERIFY(promtool.waitForStarted() && promtool.write(body) == body.size());
        promtool.closeWriteChannel();
        QVERIFY(promtool.waitForFinished());
        QVERIFY2(promtool.exitCode() == 0 && promtool.readAll().isEmpty(), promtool.readAllStandardError().constData());

        const QByteArray head = Get("HEAD /metrics HTTP/1.0\r\n\r\n");
        QVERIFY(head.startsWith("HTTP/1.1 200 OK\r\n") && head.endsWith("\r\n\r\n"));
        QVERIFY(head.contains("\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n"));
        QVERIFY(Get("GET / HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 404 "));
        const QByteArray post = Get("POST /metrics HTTP/1.1\r\n\r\n");
        QVERIFY(post.startsWith("HTTP/1.1 405 ") && post.contains("\r\nAllow: GET, HEAD\r\n"));
        QVERIFY(Get("GET /metrics\r\n\r\n").startsWith("HTTP/1.1 400 "));
        // A head past the bound, sent on in pieces: the 431 arrives whole, what follows is
        // read and dropped until the scraper closes, and it is never reset.
        PumpedClient big;
        QVERIFY(big.Connect(port, "::1"));
        for (int piece = 0; piece < 16; ++piece) {
            QVERIFY(big.SendAll(Pattern(64)));
            QTest::qWait(1); // the endpoint reads between the pieces
        }
        QVERIFY(big.WaitForEnd() && !big.WasReset() && big.Received().startsWith("HTTP/1.1 431 "));
    }

    // A balancer's check: ready while listening and not refusing; else 503 and why, so
    // that a HEAD gets the status alone.
    void readiness()
    {
        QVERIFY(Get("GET /ready HTTP/1.1\r\n\r\n").endsWith("\r\n\r\nready\n"));
        auto restore = qScopeGuard([this] { current = Sample; });
        current.refusingForClock = true;
        current.clock = {ClockStatus::State::Unsynchronised, 16.0, {}};
        const QByteArray head = Get("HEAD /ready HTTP/1.0\r\n\r\n");
        QVERIFY(head.startsWith("HTTP/1.1 503 Service Unavailable\r\n") && head.endsWith("\r\n\r\n"));
        QVERIFY(Get("GET /ready HTTP/1.0\r\n\r\n").endsWith("\r\n\r\nrefusing clients: the system clock is not synchronised (maximum error 16 s)\n"));
        current.listening = false;
        QVERIFY(Get("GET /ready?x HTTP/1.0\r\n\r\n").endsWith("\r\n\r\nnot listening\n"));
        current.stopping = true;
        QVERIFY(Get("GET /ready HTTP/1.0\r\n\r\n").endsWith("\r\n\r\nstopping\n"));
    }

    // A scraper holds a place until it is answered, not until it closes; those that send
    // half a request hold one for a bounded time only; beyond the bound of places a scraper
    // is closed at once; and connections per second are bounded.
    void hostileScrapersAreBounded()
    {
        PumpedClient answered, half, halfToo, refused;
        QVERIFY(answered.Connect(port, "::1") && answered.SendAll("GET /metrics HTTP/1.1\r\n\r\n"));
        QVERIFY(answered.ReadUntil([&] { return answered.Received().contains("\r\n\r\n"); }));
        QVERIFY(half.Connect(port, "::1") && half.SendAll("GET /metr"));
        QVERIFY(WaitFor([&] { return endpoint.Scrapers() == 1; }));
        QVERIFY(Get("GET /metrics HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 200 OK\r\n"));
        QVERIFY(halfToo.Connect(port, "::1") && halfToo.SendAll("GET /metr"));
        QVERIFY(WaitFor([&] { return endpoint.Scrapers() == 2; }));
        QVERIFY(refused.Connect(port, "::1") && refused.WaitForEnd(200) && refused.Received().isEmpty());
        QVERIFY(half.WaitForEnd(2000) && half.Received().isEmpty() && halfToo.WaitForEnd(2000));
        QVERIFY(Get("GET /metrics HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 200 OK\r\n"));

        // Past its connections for the second, an endpoint takes the next one in the next.
        // On [::] it is reached over IPv4 too.
        MetricsEndpoint slow([] { return Sample; }, {8, 2000, 256, 2});
        QVERIFY(slow.Listen({QHostAddress::AnyIPv6, 0}));
        PumpedClient a, b, c;
        for (PumpedClient *scraper : {&a, &b, &c})
            QVERIFY(scraper->Connect(slow.Port(), scraper == &a ? "127.0.0.1" : "::1") && scraper->SendAll("GET /metrics HTTP/1.1\r\n\r\n"));
        QVERIFY(a.WaitForEnd() && b.WaitForEnd() && !c.WaitForEnd(300));
        QVERIFY(c.WaitForEnd(2000) && c.Received().startsWith("HTTP/1.1 200 OK\r\n"));
    }
};

QTEST_GUILESS_MAIN(tst_Metrics)
#include "tst_Metrics.moc"
