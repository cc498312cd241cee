#include "RawClient.h"
#include "SlotTable.h"
#include "SocketControl.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <memory>

namespace {

const QByteArray Stamp = "05DEC26220252";

// Wires the socket array the way the main window does: lowest free slot, one reply per
// arrival, close on the client's close. It records what went over the wire so that the
// client's view can be checked against it byte for byte.
class EchoHarness : public QObject
{
public:
    SocketControl sockets;
    SlotTable table;
    bool acceptRequests = true;
    QList<int> acceptedSlots;
    QByteArray requestsSeen;   // every byte GetData gave, in order, all slots together
    QByteArray repliesSent;    // every reply SendData took
    int arrivals = 0;
    int peerCloses = 0;
    qint64 queuedAtPeerClose = -1;
    qint64 peakBuffered = 0;
    QByteArray padding;                 // appended to every reply, to make it large
    std::function<void(int)> onArrival; // runs inside DataArrival, after the reply

    EchoHarness()
    {
        connect(&sockets, &SocketControl::ConnectionRequest, this, [this](int, qintptr id) {
            if (!acceptRequests)
                return;
            const auto pick = table.Take();
            if (!pick)
                return;
            if (pick->isNew)
                sockets.Load(pick->slot);
            if (sockets.Accept(pick->slot, id))
                acceptedSlots.append(pick->slot);
        });
        connect(&sockets, &SocketControl::DataArrival, this, [this](int index, qint64 total) {
            ++arrivals;
            const QByteArray request = sockets.GetData(index, total);
            requestsSeen.append(request);
            const QByteArray reply = request + ':' + Stamp + padding;
            if (sockets.SendData(index, reply))
                repliesSent.append(reply);
            peakBuffered = qMax(peakBuffered, sockets.BufferedBytes());
            if (onArrival)
                onArrival(index);
        });
        connect(&sockets, &SocketControl::PeerClosed, this, [this](int index) {
            ++peerCloses;
            queuedAtPeerClose = sockets.QueuedOutput(index);
            sockets.Close(index);
            table.Free(index);
        });
    }

    bool Start()
    {
        return sockets.SetLocalPort(0) && sockets.Listen() && sockets.LocalPort() != 0;
    }
    quint16 Port() const { return sockets.LocalPort(); }
};

bool WaitFor(const std::function<bool()> &done, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(1);
    }
    return true;
}

// A client that asks and waits for its answer, as a time client does.
bool RoundTrip(RawClient &c, const QByteArray &request)
{
    const qint64 before = c.Received().size();
    if (!c.SendAll(request))
        return false;
    if (!c.WaitForBytes(before + request.size() + 1 + Stamp.size()))
        return false;
    return c.Received().mid(before) == request + ':' + Stamp;
}

bool HaveIPv6Loopback()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHostIPv6, 0);
}

} // namespace

class tst_SocketControl : public QObject
{
    Q_OBJECT
private slots:
    void acceptsIntoSlotsAndAnswersEachArrival();
    void requestNotAcceptedIsClosed();
    void echoesEveryByteValue();
    void remoteAddressIsPlainText_data();
    void remoteAddressIsPlainText();
    void refusesUnusablePorts_data();
    void refusesUnusablePorts();
    void refusesPortTakenByAnotherListener_data();
    void refusesPortTakenByAnotherListener();
    void stopsAndListensAgainOnTheSamePort();
    void slotIsReusedAfterPeerClose();
    void halfClosedClientGetsEveryReply();
    void resetClientDoesNotDisturbOthers();
    void floodingClientIsBoundedAndLosesNothing();
    void closeLetsQueuedRepliesLeave();
    void handlerMayCloseOtherSlotsInsideEvents();
    void operationsOnAbsentSlotsAreHarmless();
};

void tst_SocketControl::acceptsIntoSlotsAndAnswersEachArrival()
{
    EchoHarness h;
    QVERIFY(h.Start());
    QSignalSpy requests(&h.sockets, &SocketControl::ConnectionRequest);

    RawClient a, b;
    QVERIFY(a.Connect("127.0.0.1", h.Port()));
    QVERIFY(WaitFor([&] { return h.acceptedSlots.size() == 1; }));
    QVERIFY(b.Connect("127.0.0.1", h.Port()));
    QVERIFY(WaitFor([&] { return h.acceptedSlots.size() == 2; }));
    QCOMPARE(h.acceptedSlots, QList<int>({1, 2}));
    QCOMPARE(requests.count(), 2);
    QCOMPARE(requests.at(0).at(0).toInt(), 0); // raised on the listener
    QVERIFY(h.sockets.IsLoaded(1) && h.sockets.IsLoaded(2) && !h.sockets.IsLoaded(3));

    // The same connection answers again and again, each arrival with its own reply.
    QVERIFY(RoundTrip(a, "time"));
    QVERIFY(RoundTrip(b, "TIME\r\n"));
    QVERIFY(RoundTrip(a, "time"));
    QVERIFY(RoundTrip(a, "x"));
    QCOMPARE(a.Received().size(), 18 + 18 + 15);
    QVERIFY(!a.AtEof());
    QCOMPARE(h.arrivals, 4);
}

void tst_SocketControl::requestNotAcceptedIsClosed()
{
    EchoHarness h;
    h.acceptRequests = false;
    QVERIFY(h.Start());
    QSignalSpy requests(&h.sockets, &SocketControl::ConnectionRequest);
    RawClient c;
    QVERIFY(c.Connect("127.0.0.1", h.Port()));
    QVERIFY(c.WaitForEof());
    QCOMPARE(requests.count(), 1);
    QVERIFY(c.Received().isEmpty());

    // A request ID is good only during its own event.
    const qintptr staleId = requests.at(0).at(1).value<qintptr>();
    QVERIFY(h.sockets.Load(1));
    QVERIFY(!h.sockets.Accept(1, staleId));
}

void tst_SocketControl::echoesEveryByteValue()
{
    EchoHarness h;
    QVERIFY(h.Start());
    RawClient c;
    QVERIFY(c.Connect("127.0.0.1", h.Port()));
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    QVERIFY(c.SendAll(all));
    QVERIFY(WaitFor([&] { return h.requestsSeen.size() == all.size(); }));
    QVERIFY(c.WaitForBytes(h.repliesSent.size()));
    QCOMPARE(h.requestsSeen, all);
    QCOMPARE(c.Received(), h.repliesSent);
    QCOMPARE(c.Received().size(), 256 + 14 * h.arrivals);
}

void tst_SocketControl::remoteAddressIsPlainText_data()
{
    QTest::addColumn<QByteArray>("client");
    QTest::newRow("IPv4 client") << QByteArray("127.0.0.1");
    QTest::newRow("IPv6 client") << QByteArray("::1");
}

void tst_SocketControl::remoteAddressIsPlainText()
{
    QFETCH(QByteArray, client);
    if (client.contains(':') && !HaveIPv6Loopback())
        QSKIP("no IPv6 loopback here");
    EchoHarness h;
    QVERIFY(h.Start());
    RawClient c;
    QVERIFY(c.Connect(client.constData(), h.Port()));
    QVERIFY(WaitFor([&] { return h.acceptedSlots.size() == 1; }));
    QCOMPARE(h.sockets.RemoteHostIP(1), QString::fromLatin1(client));
    QVERIFY(RoundTrip(c, "time"));
}

void tst_SocketControl::refusesUnusablePorts_data()
{
    QTest::addColumn<qint64>("port");
    QTest::newRow("70000") << qint64(70000);
    QTest::newRow("65536") << qint64(65536);
    QTest::newRow("-1") << qint64(-1);
}

void tst_SocketControl::refusesUnusablePorts()
{
    QFETCH(qint64, port);
    SocketControl s;
    QVERIFY(s.SetLocalPort(1610));
    QVERIFY(!s.SetLocalPort(port));
    QCOMPARE(s.LocalPort(), quint16(1610)); // the refused value left nothing behind
    QVERIFY(s.SetLocalPort(65535));
    QVERIFY(s.SetLocalPort(0));
}

void tst_SocketControl::refusesPortTakenByAnotherListener_data()
{
    QTest::addColumn<QString>("holder");
    QTest::newRow("IPv4 wildcard") << QStringLiteral("0.0.0.0");
    QTest::newRow("IPv4 loopback") << QStringLiteral("127.0.0.1");
    QTest::newRow("IPv6 only wildcard") << QStringLiteral("::");
    QTest::newRow("IPv6 loopback") << QStringLiteral("::1");
    QTest::newRow("dual stack") << QStringLiteral("any");
}

void tst_SocketControl::refusesPortTakenByAnotherListener()
{
    QFETCH(QString, holder);
    if (holder.contains(':') && !HaveIPv6Loopback())
        QSKIP("no IPv6 here");
    QTcpServer other;
    // AnyIPv6 binds IPv6 only; Any is both.
    const QHostAddress address = holder == QLatin1String("any") ? QHostAddress(QHostAddress::Any)
        : holder == QLatin1String("::")                        ? QHostAddress(QHostAddress::AnyIPv6)
                                                               : QHostAddress(holder);
    QVERIFY(other.listen(address, 0));
    const quint16 port = other.serverPort();

    SocketControl s;
    QVERIFY(s.SetLocalPort(port));
    QVERIFY(!s.Listen());

    // Once the other program lets go, the same port works.
    other.close();
    QVERIFY(s.Listen());
    QCOMPARE(s.LocalPort(), port);
}

void tst_SocketControl::stopsAndListensAgainOnTheSamePort()
{
    EchoHarness h;
    QVERIFY(h.Start());
    const quint16 port = h.Port();
    QVERIFY(!h.sockets.Listen()); // listening already
    {
        RawClient c;
        QVERIFY(c.Connect("127.0.0.1", port));
        QVERIFY(RoundTrip(c, "time"));
        // Stopping as the window does: listener and slots closed, slots unloaded.
        h.sockets.Close(0);
        h.sockets.Close(1);
        h.sockets.Unload(1);
        QVERIFY(!h.sockets.IsLoaded(1));
        QVERIFY(c.WaitForEof());
        RawClient refused;
        QVERIFY(!refused.Connect("127.0.0.1", port));
    }
    // The old connection lingers in TIME_WAIT on our side; listening again must work.
    QVERIFY(h.sockets.SetLocalPort(port));
    QVERIFY(h.sockets.Listen());
    h.table.ResetCount();
    RawClient again;
    QVERIFY(again.Connect("127.0.0.1", port));
    QVERIFY(WaitFor([&] { return h.acceptedSlots.size() == 2; }));
    QCOMPARE(h.acceptedSlots.last(), 1);
    QVERIFY(RoundTrip(again, "again"));
}

void tst_SocketControl::slotIsReusedAfterPeerClose()
{
    EchoHarness h;
    QVERIFY(h.Start());
    auto first = std::make_unique<RawClient>();
    QVERIFY(first->Connect("127.0.0.1", h.Port()));
    QVERIFY(RoundTrip(*first, "one"));
    first.reset();
    QVERIFY(WaitFor([&] { return h.peerCloses == 1; }));
    QVERIFY(!h.table.InUse(1));
    QVERIFY(h.sockets.RemoteHostIP(1).isEmpty());
    QVERIFY(!h.sockets.SendData(1, "late"));

    RawClient second;
    QVERIFY(second.Connect("127.0.0.1", h.Port()));
    QVERIFY(RoundTrip(second, "two"));
    QCOMPARE(h.acceptedSlots, QList<int>({1, 1}));
}

void tst_SocketControl::halfClosedClientGetsEveryReply()
{
#ifdef TALLIX_PORTABLE_SOCKET_LAYER
    QSKIP("QTcpSocket drops its unsent output when it reads the peer's end");
#endif
    // Small requests, all answered, from a client that shuts its side right away.
    {
        EchoHarness h;
        QVERIFY(h.Start());
        RawClient c;
        QVERIFY(c.Connect("127.0.0.1", h.Port()));
        QVERIFY(c.SendAll("time"));
        c.ShutdownWrite();
        QVERIFY(c.WaitForEof());
        QCOMPARE(c.Received(), QByteArray("time:") + Stamp);
        QCOMPARE(h.peerCloses, 1);
    }
    // Replies the client has not taken yet fill the kernel's buffers, and some wait in the
    // layer (below the bound, so the layer still reads) when the client's end arrives.
    EchoHarness h;
    h.padding = QByteArray(128 * 1024, 'p');
    QVERIFY(h.Start());
    RawClient c;
    QVERIFY(c.Connect("127.0.0.1", h.Port()));
    for (int i = 0; i < 2000 && h.sockets.QueuedOutput(1) == 0; ++i) {
        const int before = h.arrivals;
        QVERIFY(c.SendAll("a"));
        QVERIFY(WaitFor([&] { return h.arrivals > before; }));
    }
    QVERIFY(h.sockets.QueuedOutput(1) > 0);
    QVERIFY(c.SendAll("last"));
    c.ShutdownWrite();
    QVERIFY(WaitFor([&] { return h.peerCloses == 1; }));
    QVERIFY(h.queuedAtPeerClose > 0);
    QVERIFY(h.requestsSeen.endsWith("last"));

    QVERIFY(c.WaitForEof(20000));
    QVERIFY(!c.HadError());
    QCOMPARE(c.Received().size(), h.repliesSent.size());
    QVERIFY(c.Received() == h.repliesSent);
}

void tst_SocketControl::resetClientDoesNotDisturbOthers()
{
    EchoHarness h;
    QVERIFY(h.Start());
    RawClient quiet, rude;
    QVERIFY(quiet.Connect("127.0.0.1", h.Port()));
    QVERIFY(rude.Connect("127.0.0.1", h.Port()));
    rude.SetReceiveBuffer(4096);
    QVERIFY(WaitFor([&] { return h.acceptedSlots.size() == 2; }));

    // The rude client makes the server queue replies, then resets mid-reply.
    const QByteArray chunk(64 * 1024, 'r');
    QDeadlineTimer fill(5000);
    while (h.sockets.QueuedOutput(2) == 0 && !fill.hasExpired()) {
        rude.SendSome(chunk.constData(), chunk.size());
        QTest::qWait(1);
    }
    QVERIFY(h.sockets.QueuedOutput(2) > 0);
    rude.Reset();

    for (int i = 0; i < 20; ++i)
        QVERIFY(RoundTrip(quiet, "time"));
    QVERIFY(WaitFor([&] { return h.peerCloses == 1; }));
    QVERIFY(!h.table.InUse(2));
    QVERIFY(h.table.InUse(1));
    QVERIFY(RoundTrip(quiet, "still here"));
    QVERIFY(WaitFor([&] { return h.sockets.BufferedBytes() == 0; }));
}

void tst_SocketControl::floodingClientIsBoundedAndLosesNothing()
{
    EchoHarness h;
    QVERIFY(h.Start());
    RawClient c;
    QVERIFY(c.Connect("127.0.0.1", h.Port()));

    // Send 32 MiB without reading a byte, as long as the server lets us.
    QByteArray data(32 * 1024 * 1024, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 7 + i / 251);
    qint64 sent = 0;
    QDeadlineTimer flood(5000);
    while (sent < data.size() && !flood.hasExpired()) {
        const qint64 n = c.SendSome(data.constData() + sent, qMin<qint64>(65536, data.size() - sent));
        QVERIFY(n >= 0);
        sent += n;
        QTest::qWait(n > 0 ? 0 : 1);
        h.peakBuffered = qMax(h.peakBuffered, h.sockets.BufferedBytes());
    }
    // The client is stuck long before 32 MiB: the server stopped reading from it.
    QVERIFY2(sent < data.size(), "the server kept reading from a client that never reads");
    const qint64 bound = SocketControl::OutputBound + SocketControl::InputBound + 256 * 1024;
    QVERIFY2(h.peakBuffered <= bound, qPrintable(QString::number(h.peakBuffered)));

    // Now it reads, and sends the rest: every byte comes back, complete and in order.
    QDeadlineTimer drain(30000);
    while (sent < data.size() && !drain.hasExpired()) {
        const qint64 n = c.SendSome(data.constData() + sent, qMin<qint64>(65536, data.size() - sent));
        QVERIFY(n >= 0);
        sent += n;
        c.ReadAvailable();
        QTest::qWait(0);
        h.peakBuffered = qMax(h.peakBuffered, h.sockets.BufferedBytes());
    }
    QCOMPARE(sent, qint64(data.size()));
    QVERIFY(WaitFor([&] { return h.requestsSeen.size() == data.size(); }, 30000));
    QVERIFY(c.WaitForBytes(h.repliesSent.size(), 30000));
    QCOMPARE(h.requestsSeen.size(), data.size());
    QVERIFY(h.requestsSeen == data);
    QVERIFY(c.Received() == h.repliesSent);
    QVERIFY2(h.peakBuffered <= bound, qPrintable(QString::number(h.peakBuffered)));
}

void tst_SocketControl::closeLetsQueuedRepliesLeave()
{
    EchoHarness h;
    QVERIFY(h.Start());
    RawClient c;
    QVERIFY(c.Connect("127.0.0.1", h.Port()));
    const QByteArray chunk(64 * 1024, 'q');
    QDeadlineTimer fill(5000);
    while (h.sockets.QueuedOutput(1) < 64 * 1024 && !fill.hasExpired()) {
        c.SendSome(chunk.constData(), chunk.size());
        QTest::qWait(1);
    }
    QVERIFY(h.sockets.QueuedOutput(1) >= 64 * 1024);
    // Whatever the client sent that the server has not read yet is never answered.
    QTest::qWait(50);
    const QByteArray expected = h.repliesSent;

    h.sockets.Close(1);
    h.table.Free(1);
    QCOMPARE(h.sockets.QueuedOutput(1), qint64(0));

    // The slot is free at once for the next client.
    RawClient next;
    QVERIFY(next.Connect("127.0.0.1", h.Port()));
    QVERIFY(RoundTrip(next, "next"));
    QCOMPARE(h.acceptedSlots, QList<int>({1, 1}));

    // The closed client still gets every reply queued for it, then the end.
    QVERIFY(c.WaitForEof(20000));
    QVERIFY(c.Received() == expected);
    QVERIFY(WaitFor([&] { return h.sockets.BufferedBytes() == 0; }));
}

void tst_SocketControl::handlerMayCloseOtherSlotsInsideEvents()
{
    EchoHarness h;
    QVERIFY(h.Start());
    RawClient a, b, c;
    QVERIFY(a.Connect("127.0.0.1", h.Port()));
    QVERIFY(b.Connect("127.0.0.1", h.Port()));
    QVERIFY(c.Connect("127.0.0.1", h.Port()));
    QVERIFY(WaitFor([&] { return h.acceptedSlots.size() == 3; }));

    // Both b and c have data ready in the same pass when a's arrival closes them.
    QVERIFY(b.SendAll("b"));
    QVERIFY(c.SendAll("c"));
    QVERIFY(a.SendAll("a"));
    h.onArrival = [&h](int index) {
        if (index == 1) {
            h.sockets.Close(2);
            h.sockets.Unload(2);
            h.sockets.Close(3);
            h.table.Free(2);
            h.table.Free(3);
        }
    };
    QVERIFY(a.WaitForBytes(15));
    QVERIFY(RoundTrip(a, "again"));
    QVERIFY(!h.sockets.IsLoaded(2));
    QVERIFY(h.sockets.IsLoaded(3));
    QVERIFY(b.WaitForEof());
    QVERIFY(c.WaitForEof());
}

void tst_SocketControl::operationsOnAbsentSlotsAreHarmless()
{
    SocketControl s;
    QVERIFY(!s.Load(0));
    QVERIFY(!s.Load(256));
    QVERIFY(s.Load(255));
    QVERIFY(!s.Load(255));
    QVERIFY(s.IsLoaded(0));
    QVERIFY(!s.IsLoaded(-1));
    s.Close(0);
    s.Close(7);
    s.Unload(7);
    s.Close(300);
    QVERIFY(s.GetData(255, 10).isEmpty());
    QVERIFY(!s.SendData(255, "x"));
    QVERIFY(!s.Accept(255, 3));
    QVERIFY(s.RemoteHostIP(255).isEmpty());
}

QTEST_GUILESS_MAIN(tst_SocketControl)
#include "tst_SocketControl.moc"
