// The connection service on real loopback sockets, built once over each socket layer.
#include "ConnectionService.h"
#include "FakeTime.h"
#include "Files.h"
#include "Loopback.h"
#include "ProxyHeaders.h"

#include <QCoreApplication>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <numeric>
#include <memory>

namespace {

const QByteArray Stamp = "05DEC26220252";

// A service as the window sets it up: a fixed clock, a zone with an hour of daylight
// saving, the boxes as plain values, the program folder a temporary one.
struct Rig
{
    FakeTime time{MakeDateValue(2026, 12, 5, 22, 2, 52), {0, -60}};
    DateText texts{QLocale::c()};
    QTemporaryDir folder;
    int daylight = 0;
    int log = 1;
    ConnectionService service{
        time.zone,
        time.clock,
        texts,
        {[this] { return daylight; }, [this] { return log; }, [this] { return folder.path() + u'/'; }, [this] { return folder.path() + u'/'; }}};
    SocketControl &sockets = service.socServer();
    quint16 port = 0;

    bool Start()
    {
        service.ResetForStart(service.Counters().SinceLaunch(), service.Counters().MaxSimSinceLaunch());
        return service.Listen(port) && (port = sockets.LocalPort()) != 0; // 0: the system picks
    }
    QByteArray LogFile() { return ReadFile(folder.filePath(QStringLiteral("Logs/20261205.log"))); }
};

} // namespace

class tst_Connections : public QObject
{
    Q_OBJECT
private slots:
    void servesLogsAndRestarts();
    void portHeldElsewhereFailsUntilFreed();
    void floodIsBoundedAndStopLetsQueuedRepliesLeave();
    void handlerMayCloseOrUnloadOtherSlotsMidPass();
    void accessRulesTurnClientsAwayBeforeASlot_data();
    void accessRulesTurnClientsAwayBeforeASlot();
    void proxyHeaderVerdicts_data();
    void proxyHeaderVerdicts();
};

void tst_Connections::servesLogsAndRestarts()
{
    Rig r;
    QVERIFY(r.Start());
    PumpedClient a, b;
    QVERIFY(a.Connect(r.port, "127.0.0.1") && b.Connect(r.port, "::1"));
    QVERIFY(WaitFor([&] { return r.service.Slots().InUse(2); }));

    // Every byte value comes back as sent; the daylight box counts from the next request.
    QByteArray all(256, 0);
    std::iota(all.begin(), all.end(), 0);
    QCOMPARE(a.Ask(all), all + ':' + Stamp);
    r.daylight = 2;
    QCOMPARE(b.Ask("time"), QByteArray("time:05DEC26210252"));
    r.daylight = 0;
    QCOMPARE(b.Ask("time"), QByteArray("time:") + Stamp);

    // A freed slot is the next one taken, also after a request the socket layer could not
    // take (counted as a failed accept is); a grayed log box writes nothing.
    a.Reset();
    QVERIFY(WaitFor([&] { return !r.service.Slots().InUse(1); }));
    r.log = 2;
    emit r.sockets.ConnectionRequest(0, 999999);
    QVERIFY(!r.service.Slots().InUse(1) && r.service.Counters().SinceLaunch() == 3);
    PumpedClient c;
    QVERIFY(c.Connect(r.port) && WaitFor([&] { return r.service.Slots().InUse(1); }));
    QCOMPARE(r.LogFile().count('\n'), 2);

    // A stop ends every client; the same port listens again at once and slot 1 is first.
    r.service.Stop();
    QVERIFY(b.WaitForEnd() && c.WaitForEnd());
    QVERIFY(!r.sockets.IsLoaded(1));
    QVERIFY(r.Start());
    PumpedClient d;
    QVERIFY(d.Connect(r.port));
    QCOMPARE(d.Ask("again"), QByteArray("again:") + Stamp);
    QVERIFY(r.service.Slots().InUse(1) && r.service.Slots().SocketCount() == 1);
}

// A port another program holds on IPv4, on IPv6 alone or on both: no start until it is freed.
void tst_Connections::portHeldElsewhereFailsUntilFreed()
{
    for (const QHostAddress::SpecialAddress any : {QHostAddress::AnyIPv4, QHostAddress::AnyIPv6, QHostAddress::Any}) {
        QTcpServer other;
        QVERIFY(other.listen(any, 0));
        Rig r;
        r.port = other.serverPort();
        QVERIFY2(!r.Start(), qPrintable(QHostAddress(any).toString()));
        other.close();
        QVERIFY(r.Start());
        PumpedClient c;
        QVERIFY(c.Connect(r.port));
        QCOMPARE(c.Ask("t"), QByteArray("t:") + Stamp);
    }
}

// A client that sends without reading is held to a bounded buffer while others are served;
// a stop still lets every reply queued for it leave, whole and in order, before the end,
// and resets no client, not even one whose last bytes were never read.
void tst_Connections::floodIsBoundedAndStopLetsQueuedRepliesLeave()
{
    Rig r;
    QVERIFY(r.Start());
    PumpedClient c, bystander;
    QVERIFY(c.Connect(r.port) && WaitFor([&] { return r.service.Slots().InUse(1); }) && bystander.Connect(r.port));
    const QByteArray data = Pattern(32 * 1024 * 1024);
    const qint64 bound = SocketControl::OutputBound + SocketControl::InputBound + 256 * 1024;
    qint64 peak = 0;
    const qint64 sent = c.Flood(data, 4000, [&] { peak = qMax(peak, r.sockets.BufferedBytes()); });
    QVERIFY2(sent >= 0 && sent < data.size(), "the server kept reading from a client that never reads");
    QVERIFY2(peak <= bound, qPrintable(QString::number(peak)));
    QCOMPARE(bystander.Ask("b"), QByteArray("b:") + Stamp);
    const qint64 queued = r.sockets.QueuedOutput(1);
    QVERIFY(queued >= 64 * 1024);
    // Nothing is queued for the bystander, but it sent bytes not read yet: no reset either.
    QVERIFY(bystander.SendAll("unread"));
    r.service.Stop();
    QVERIFY(r.service.Draining());
    QVERIFY(bystander.WaitForEnd() && !bystander.WasReset());
    QVERIFY(c.WaitForEnd(20000) && !c.WasReset());
    const std::optional<QByteArray> echoed = Echoed(c.Received());
    QVERIFY(echoed && data.startsWith(*echoed));
    QVERIFY(c.Received().size() >= queued);
    c.Reset();
    bystander.Reset();
    QVERIFY(WaitFor([&] { return r.sockets.BufferedBytes() == 0 && !r.service.Draining(); }));
}

void tst_Connections::handlerMayCloseOrUnloadOtherSlotsMidPass()
{
    Rig r;
    QVERIFY(r.Start());
    PumpedClient a, b, c;
    QVERIFY(a.Connect(r.port) && b.Connect(r.port) && c.Connect(r.port));
    QVERIFY(WaitFor([&] { return r.service.Slots().SocketCount() == 3; }));
    // After the service answers slot 1, this handler drops slots 2 and 3, whose data waits
    // in the same pass: all three requests are there before the event loop runs again.
    QObject::connect(&r.sockets, &SocketControl::DataArrival, &r.service, [&r](int index) {
        if (index == 1) {
            r.sockets.Close(2);
            r.sockets.Unload(2);
            r.sockets.Close(3);
        }
    });
    QVERIFY(a.SendAll("a") && b.SendAll("b") && c.SendAll("c"));
    QVERIFY(a.ReadUntil([&] { return a.Received().size() >= 15; }));
    QCOMPARE(a.Received(), QByteArray("a:") + Stamp);
    QVERIFY(b.WaitForEnd() && c.WaitForEnd() && b.Received().isEmpty() && c.Received().isEmpty());
    QCOMPARE(a.Ask("again"), QByteArray("again:") + Stamp);
    QVERIFY(!r.sockets.IsLoaded(2) && r.sockets.IsLoaded(3));
}

void tst_Connections::accessRulesTurnClientsAwayBeforeASlot_data()
{
    QTest::addColumn<QByteArray>("file"); // "/": a folder, which cannot be read
    QTest::addColumn<QString>("clients"); // connecting in this order, see below
    QTest::addColumn<QString>("served");  // per client: 1 served; refused by 0 the rules, p the per-address limit, h its header, c the clock
    QTest::addColumn<QString>("ignored"); // the lines reported, joined by "|"
    const QString four = QStringLiteral("127.0.0.2 127.0.0.3 ::1 127.0.1.1");
    QTest::newRow("unreadable: everyone refused") << QByteArray("/") << four << "0000" << QStringLiteral(": cannot be read, every client is refused");
    QTest::newRow("allow lines: most specific wins, the rest is refused, IPv4 rules on the dual-stack socket")
        << QByteArray("# ours\r\nallow 127.0.0.0/8\r\ndeny 127.0.0.0/24 # lab\r\nALLOW 127.0.0.3\r\n") << four << "0101" << QString();
    // The clock reads synchronised with a maximum error of 300 ms here.
    QTest::newRow("clock rule met") << QByteArray("require-synchronised-clock 500ms\n") << four << "1111" << QString();
    QTest::newRow("clock rule not met: every client refused")
        << QByteArray("Require-Synchronized-Clock 250ms\nallow 127.0.0.2\n") << four << "cccc" << QString();
    QTest::newRow("IPv6 rule") << QByteArray("allow ::1\ndeny ::/0\n") << four << "0010" << QString();
    QTest::newRow("deny wins a tie; IPv4 /0 holds no IPv6 client")
        << QByteArray("deny 127.0.0.2\nallow 127.0.0.2/32\nallow 0.0.0.0/0\n") << four << "0101" << QString();
    QTest::newRow("per-address limit, freed again") << QByteArray("per-address 2\n") << "127.0.0.2 127.0.0.2 127.0.0.2 127.0.0.3"
                                                    << "11p1" << QString();
    QTest::newRow("bad lines skipped and reported")
        << QByteArray("allow 127.0.0.2\nallow 127.1\ndeny 127.0.0.1/8\nper-address 0\nallow ::1%lo\nblock ::1\nproxy-from ::1 "
                      "::2\nper-address-prefix 33 64\nrequire-synchronised-clock 17s\nrequire-synchronised-clock 1ms 2ms\n")
        << four << "1000"
        << "line 2: allow 127.1|line 3: deny 127.0.0.1/8|line 4: per-address 0|line 5: allow ::1%lo|line 6: block ::1|line 7: proxy-from ::1 ::2|"
           "line 8: per-address-prefix 33 64|line 9: require-synchronised-clock 17s|line 10: require-synchronised-clock 1ms 2ms";
    // Behind a balancer on 127.0.0.1: v1/ADDRESS and v2/ADDRESS name the client (v1 a byte
    // at a time), local/ is a health check, bad/, cut/ and slow/ send a malformed, a
    // truncated or no header. Other sources are never held for a header.
    QTest::newRow("behind a balancer: the header's client is judged, IPv6 counted by /64")
        << QByteArray("proxy-from 127.0.0.1\ndeny 192.0.2.7\nper-address 1\n")
        << "v1/192.0.2.7 v1/::ffff:192.0.2.7 v2/198.51.100.1 v2/2001:db8::1 v1/2001:db8::2 v2/2001:db8:0:1::1 local/ 127.0.0.3"
        << "0011p111" << QString();
    QTest::newRow("behind a balancer: bad headers are refused unseen")
        << QByteArray("proxy-from 127.0.0.0/31\n") << "v2/10.1.2.3 slow/ bad/ cut/ 127.0.0.2"
        << "1hhh1" << QString();
    QTest::newRow("per-address prefix lengths") << QByteArray("proxy-from 127.0.0.1\nper-address 1\nper-address-prefix 24 128\n")
                                                << "v2/10.0.0.1 v2/10.0.0.2 v1/10.0.1.1 v2/2001:db8::1 v2/2001:db8::2"
                                                << "1p111" << QString();
}

// Refused clients take no slot and are neither counted nor logged; served ones are
// untouched by them and logged with the address their header named. At the end the
// first client goes and its address asks again.
void tst_Connections::accessRulesTurnClientsAwayBeforeASlot()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, clients);
    QFETCH(QString, served);
    QFETCH(QString, ignored);
    Rig r;
    const QString rules = r.folder.filePath(QStringLiteral("Access.txt"));
    QVERIFY(file == "/" ? QDir().mkdir(rules) : WriteFile(rules, file));
    r.service.SetClock({ClockStatus::State::Synchronised, 0.3, {}});
    QVERIFY(r.Start());
    QCOMPARE(r.service.IgnoredRuleLines().join(u'|'), (file == "/" ? rules : QString()) + ignored);
    const ServiceStats &stats = r.service.Stats();
    auto handled = [&] {
        return r.service.Counters().SinceStart() + stats.refusedByRules + stats.refusedPerAddress + stats.refusedProxyHeader + stats.refusedClock;
    };
    const QStringList tokens = clients.split(u' ');
    std::vector<std::unique_ptr<PumpedClient>> c;
    QByteArray log;
    auto connect = [&](const QString &token, bool logged) {
        const QString form = token.contains(u'/') ? token.section(u'/', 0, 0) : QString(), named = token.section(u'/', 1);
        const QByteArray source = form.isEmpty() ? token.toLatin1() : QByteArray("127.0.0.1");
        const QByteArray header = QByteArray::fromStdString(form == u"v2"      ? ProxyV2(named.toStdString(), {"\x04\x00\x02no", 5}) // a TLV to skip
                                                            : form == u"local" ? ProxyV2()
                                                            : form == u"bad"   ? "PROXY TCP4 10.1.1.1 127.0.0.1 40000 1610\n" // no CR
                                                            : form == u"cut"   ? ProxyV2("10.1.1.1").substr(0, 15)
                                                            : form.isEmpty() || form == u"slow" ? std::string()
                                                                                                : ProxyV1(named.toStdString()));
        c.push_back(std::make_unique<PumpedClient>());
        const qint64 before = handled();
        if (!c.back()->Connect(r.port, source.contains(':') ? "::1" : "127.0.0.1", source.constData()))
            return false;
        for (qsizetype i = 0; form == u"v1" && i < header.size(); ++i)
            c.back()->SendAll(header.mid(i, 1)), QTest::qWait(2);
        if (form != u"slow")
            c.back()->SendAll((form == u"v1" ? QByteArray() : header) + "x");
        if (form == u"cut")
            c.back()->ShutdownWrite();
        if (logged)
            log += "[22:02:52] " + (named.isEmpty() ? source : named.toLatin1()) + "\r\n";
        // One at a time, so that the log's order is the clients'.
        return form == u"slow" || WaitFor([&] { return handled() == before + 1; });
    };
    for (int i = 0; i < tokens.size(); ++i)
        QVERIFY(connect(tokens[i], served[i] == u'1'));
    QVERIFY(WaitFor([&] { return handled() == tokens.size(); }, SocketControl::ProxyHeaderTimeoutMs + 2000));
    for (int i = 0; i < tokens.size(); ++i) {
        QCOMPARE(c[i]->ReadUntil([&] { return c[i]->Received().size() >= 15; }, 3000), served[i] == u'1');
        QCOMPARE(c[i]->Received(), served[i] == u'1' ? "x:" + Stamp : QByteArray());
    }
    QCOMPARE(r.service.Slots().SocketCount(), served.count(u'1'));
    QCOMPARE(r.LogFile(), log);
    const QList<qint64> refused{stats.refusedByRules, stats.refusedPerAddress, stats.refusedProxyHeader, stats.refusedClock};
    QCOMPARE(refused, (QList<qint64>{served.count(u'0'), served.count(u'p'), served.count(u'h'), served.count(u'c')}));
    c[0]->Reset();
    QVERIFY(served[0] != u'1' || WaitFor([&] { return !r.service.Slots().InUse(1); }));
    QVERIFY(connect(tokens[0], false));
    QCOMPARE(c.back()->ReadUntil([&] { return c.back()->Received().size() >= 15; }, 3000), served[0] == u'1');
}

void tst_Connections::proxyHeaderVerdicts_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("verdict"); // once complete "LENGTH CLIENT" (- when none); "invalid"; "incomplete"
    const QByteArray sig("\r\n\r\n\0\r\nQUIT\n", 12), v4 = QByteArray::fromStdString(ProxyV2("192.0.2.7")).mid(16), unknown("PROXY UNKNOWN ");
    QTest::newRow("v1 UNKNOWN, anything after it, then data") << unknown + "what ever\r\nGET"
                                                              << "25 -";
    QTest::newRow("v1 at the limit") << unknown + QByteArray(91, 'f') + "\r\n"
                                     << "107 -";
    QTest::newRow("v1 past the limit") << unknown + QByteArray(92, 'f') + "\r\n"
                                       << "invalid";
    QTest::newRow("v1 leading zero") << QByteArray("PROXY TCP4 192.0.2.07 127.0.0.1 1 2\r\n") << "invalid";
    QTest::newRow("v1 two spaces") << QByteArray("PROXY TCP4  192.0.2.7 127.0.0.1 1 2\r\n") << "invalid";
    QTest::newRow("v1 family of another address") << QByteArray("PROXY TCP6 192.0.2.7 ::1 1 2\r\n") << "invalid";
    QTest::newRow("v1 lone CR") << QByteArray("PROXY UNKNOWN\r\r\n") << "invalid";
    QTest::newRow("no header") << QByteArray("GET / HTTP/1.0\r\n") << "invalid";
    QTest::newRow("v2 UDP: the peer stands") << sig + QByteArray("\x21\x12\x00\x0c", 4) + v4 << "28 -";
    QTest::newRow("v2 UNIX, its address cut short") << sig + QByteArray("\x21\x31\x00\x0c", 4) + v4 << "invalid";
    QTest::newRow("v2 LOCAL ignores the family") << sig + QByteArray("\x20\xff\x00\x00", 4) << "16 -";
    QTest::newRow("v2 version 1") << sig + QByteArray("\x11\x11\x00\x0c", 4) + v4 << "invalid";
    QTest::newRow("v2 family 4") << sig + QByteArray("\x21\x41\x00\x0c", 4) + v4 << "invalid";
    QTest::newRow("v2 at the limit") << sig + QByteArray("\x20\x00\x03\xf0", 4) + QByteArray(1008, 0) << "1024 -";
    QTest::newRow("v2 past the limit") << sig + QByteArray("\x20\x00\x03\xf1", 4) << "invalid";
}

void tst_Connections::proxyHeaderVerdicts()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, verdict);
    ProxyHeader h;
    h.Feed(bytes);
    const QString complete = QString::number(h.Length()) + u' ' + (h.Source().isNull() ? QStringLiteral("-") : h.Source().toString());
    QCOMPARE(QStringList({QStringLiteral("incomplete"), complete, QStringLiteral("invalid")}).at(int(h.State())), verdict);
}

QTEST_GUILESS_MAIN(tst_Connections)
#include "tst_Connections.moc"
