// The real program under load and hostile clients on loopback. Each case checks that the
// clients got exactly what the protocol promises, that a bystander client kept getting
// correct replies, and that the program's descriptors came back to where they started.
#include "LoopbackClient.h"
#include "ServerProcess.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>
#include <vector>

namespace {

// Request data without a colon, so that a stream of replies splits unambiguously.
QByteArray Pattern(qsizetype size, char seed = 'a')
{
    QByteArray data(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        data[i] = char(seed + (i * 7 + i / 251) % 26);
    return data;
}

int EnvCount(const char *name, int fallback)
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue(name, &ok);
    return ok && n > 0 ? n : fallback;
}

} // namespace

class tst_LoopbackAbuse : public QObject
{
    Q_OBJECT

    ServerProcess server;
    int baselineFds = 0;

    // A client that is not part of the abuse and must be served correctly throughout.
    void CheckBystander()
    {
        LoopbackClient c;
        QVERIFY(c.Connect(server.port));
        QVERIFY(IsReplyTo(c.Ask("time"), "time"));
    }

    // Descriptors come back once the server has seen every client go.
    void CheckDescriptorsBack()
    {
        QDeadlineTimer deadline(15000);
        while (server.OpenDescriptors() != baselineFds && !deadline.hasExpired())
            QTest::qWait(50);
        QCOMPARE(server.OpenDescriptors(), baselineFds);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(server.Prepare());
        QVERIFY(server.Start());
        // One full connection first, so that lazily made objects exist before the baseline.
        CheckBystander();
        QTest::qWait(200);
        baselineFds = server.OpenDescriptors();
        QVERIFY(baselineFds > 0);
    }

    void cleanupTestCase()
    {
        QVERIFY(server.Stop());
        const QByteArray diagnostics = server.Diagnostics();
        QVERIFY2(!ServerProcess::HasSanitizerReport(diagnostics), diagnostics.constData());
    }

    void cleanup()
    {
        QVERIFY(server.process.state() == QProcess::Running);
        CheckBystander();
        CheckDescriptorsBack();
    }

    void heldSlotsAndRefusedExtras()
    {
        std::vector<std::unique_ptr<LoopbackClient>> held;
        for (int i = 0; i < 255; ++i) {
            held.push_back(std::make_unique<LoopbackClient>());
            QVERIFY(held.back()->Connect(server.port));
            QVERIFY(IsReplyTo(held.back()->Ask("hold"), "hold"));
        }
        // Every slot is busy: the extra clients get in and are let go at once, unanswered.
        for (int i = 0; i < 200; ++i) {
            LoopbackClient extra;
            if (!extra.Connect(server.port))
                continue; // refused outright is as good
            extra.SendAll("extra");
            QVERIFY2(extra.WaitForEnd(), "an extra client was kept");
            QVERIFY(!extra.Received().contains("extra:"));
        }
        for (auto &c : held)
            QVERIFY(IsReplyTo(c->Ask("again"), "again"));
        // A freed slot serves the next client.
        held.front()->Reset();
        QTest::qWait(100);
        LoopbackClient next;
        QVERIFY(next.Connect(server.port));
        QVERIFY(IsReplyTo(next.Ask("next"), "next"));
    }

    void connectRequestCloseCycles()
    {
        // TALLIX_ABUSE_CYCLES sets the count; 100,000 take about 35 s even under ASan.
        const int cycles = EnvCount("TALLIX_ABUSE_CYCLES", 100000);
        const int warmup = qMin(2000, cycles / 10);
        qint64 rssAfterWarmup = 0;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < cycles; ++i) {
            if (i == warmup) {
                QTest::qWait(200);
                rssAfterWarmup = server.ResidentKiB();
            }
            LoopbackClient c;
            QVERIFY2(c.Connect(server.port), qPrintable(QStringLiteral("cycle %1").arg(i)));
            QVERIFY2(IsReplyTo(c.Ask("x"), "x"), qPrintable(QStringLiteral("cycle %1").arg(i)));
            // Most clients leave with a reset, which leaves no TIME_WAIT; one in 64 closes
            // in order, few enough that its TIME_WAITs cannot use up the client ports.
            if (i % 64 == 0)
                c.Close();
        }
        const double seconds = timer.elapsed() / 1000.0;
        QTest::qWait(300);
        const qint64 rssEnd = server.ResidentKiB();
        qInfo("%d cycles in %.1f s (%.0f/s); RSS %lld KiB after %d, %lld KiB at the end",
              cycles, seconds, cycles / seconds, rssAfterWarmup, warmup, rssEnd);
        // The allocator may keep a little; a leak per connection would show as megabytes.
        QVERIFY2(rssEnd - rssAfterWarmup < 4096,
                 qPrintable(QStringLiteral("RSS grew by %1 KiB").arg(rssEnd - rssAfterWarmup)));
    }

    void resetsInTheMiddleOfAReply()
    {
        for (int i = 0; i < 20; ++i) {
            LoopbackClient c;
            QVERIFY(c.Connect(server.port));
            c.SetReceiveBuffer(4096);
            // More than the socket buffers hold, never read: the reply is still in flight.
            const QByteArray big = Pattern(2 * 1024 * 1024);
            qint64 sent = 0;
            QDeadlineTimer deadline(3000);
            while (sent < big.size() && !deadline.hasExpired()) {
                const qint64 n = c.SendSome(big.constData() + sent, big.size() - sent);
                if (n < 0)
                    break;
                sent += n;
                if (n == 0)
                    QTest::qWait(1);
            }
            QVERIFY(sent > 0);
            c.Reset();
            CheckBystander();
        }
    }

    void halfClosedClientsAreStillAnswered()
    {
        for (const qsizetype size : {qsizetype(3), qsizetype(100000), qsizetype(1024 * 1024)}) {
            LoopbackClient c;
            QVERIFY(c.Connect(server.port));
            const QByteArray request = Pattern(size);
            QVERIFY(c.SendAll(request));
            c.ShutdownWrite();
            QVERIFY2(c.WaitForEnd(20000), "the server never ended the half-closed connection");
            ReplySplitter replies;
            QVERIFY(replies.Update(c.Received()));
            QVERIFY(replies.Complete(c.Received()));
            QCOMPARE(replies.Echoed().size(), request.size());
            QVERIFY(replies.Echoed() == request);
        }
    }

    void largeRequestsEchoedWhole_data()
    {
        QTest::addColumn<qsizetype>("size");
        QTest::newRow("1 MiB") << qsizetype(1024 * 1024);
        QTest::newRow("16 MiB") << qsizetype(16 * 1024 * 1024);
    }
    void largeRequestsEchoedWhole()
    {
        QFETCH(qsizetype, size);
        LoopbackClient c;
        QVERIFY(c.Connect(server.port));
        const QByteArray request = Pattern(size, 'A');
        QVERIFY(c.SendAll(request, 60000));
        // As many replies as arrivals: complete once the echoed parts add up to the request.
        ReplySplitter replies;
        QVERIFY(c.ReadUntil([&] {
            return !replies.Update(c.Received()) || replies.Echoed().size() >= request.size();
        }, 60000));
        QVERIFY(replies.Complete(c.Received()));
        QVERIFY(replies.Echoed() == request);
        qInfo("%lld bytes echoed in %d replies", qlonglong(size), replies.Replies());
        CheckBystander();
    }

    void oneByteEvery10msFromEverySlot()
    {
        // 254 drippers and the bystander fill all 255 slots.
        const int clients = 254;
        const int rounds = EnvCount("TALLIX_ABUSE_DRIP_ROUNDS", 200); // 2 s at 10 ms
        std::vector<std::unique_ptr<LoopbackClient>> drip;
        for (int i = 0; i < clients; ++i) {
            drip.push_back(std::make_unique<LoopbackClient>());
            QVERIFY(drip.back()->Connect(server.port));
        }
        LoopbackClient bystander;
        QVERIFY(bystander.Connect(server.port));
        QByteArray sent;
        for (int r = 0; r < rounds; ++r) {
            const char byte = char('a' + r % 26);
            sent += byte;
            for (auto &c : drip) {
                QCOMPARE(c->SendSome(&byte, 1), qint64(1));
                c->ReadAvailable();
            }
            if (r % 20 == 0)
                QVERIFY(IsReplyTo(bystander.Ask("busy"), "busy"));
            QTest::qWait(10);
        }
        for (auto &c : drip) {
            ReplySplitter replies;
            QVERIFY(c->ReadUntil([&] {
                return !replies.Update(c->Received()) || replies.Echoed().size() >= sent.size();
            }));
            QVERIFY(replies.Complete(c->Received()));
            QVERIFY(replies.Echoed() == sent);
        }
    }

    void floodWithoutReading()
    {
        const qint64 rssBefore = server.ResidentKiB();
        LoopbackClient flood;
        // The default receive buffer: one smaller than loopback's segment size would make
        // the reading afterwards crawl (the sender waits on zero-window probes).
        QVERIFY(flood.Connect(server.port));
        const QByteArray chunk = Pattern(64 * 1024);
        QByteArray sent;
        QDeadlineTimer deadline(3000);
        qint64 peakRss = rssBefore;
        int answered = 0;
        while (!deadline.hasExpired() && sent.size() < 256 * 1024 * 1024) {
            const qint64 n = flood.SendSome(chunk.constData(), chunk.size());
            QVERIFY(n >= 0);
            sent += chunk.left(n);
            if (n == 0) {
                // The server has stopped reading: others are still served meanwhile.
                LoopbackClient other;
                QVERIFY(other.Connect(server.port));
                QVERIFY(IsReplyTo(other.Ask("other"), "other"));
                ++answered;
                QTest::qWait(20);
            }
            peakRss = qMax(peakRss, server.ResidentKiB());
        }
        qInfo("flood: %lld bytes taken before the server paused; RSS %lld -> peak %lld KiB; "
              "%d other clients answered meanwhile",
              qlonglong(sent.size()), rssBefore, peakRss, answered);
        QVERIFY(answered > 0);
        // The server holds at most its bounds, not what the client pushes.
        QVERIFY2(peakRss - rssBefore < 64 * 1024, "the server buffered the flood");
        // Now read: every byte comes back, in order.
        ReplySplitter replies;
        const bool drained = flood.ReadUntil([&] {
            return !replies.Update(flood.Received()) || replies.Echoed().size() >= sent.size();
        }, 60000);
        QVERIFY2(drained, qPrintable(QStringLiteral("echoed %1 of %2 bytes; received %3; ended %4")
                                         .arg(replies.Echoed().size()).arg(sent.size())
                                         .arg(flood.Received().size()).arg(flood.Ended())));
        QVERIFY(replies.Complete(flood.Received()));
        QVERIFY(replies.Echoed() == sent);
    }
};

QTEST_GUILESS_MAIN(tst_LoopbackAbuse)
#include "tst_LoopbackAbuse.moc"
