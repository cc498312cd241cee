// Three window-less copies of the real program, each in its own folder, behind a real
// HAProxy on loopback with the configuration of resources/haproxy (its ports changed for
// free ones): clients come from 127.0.0.2 and ::1, 127.0.0.3 is denied by the copies' rules.
// A fourth copy requires a synchronised clock (the kernel's state changed by kernel-clock.sh).
#include "ClockTrust.h"
#include "KernelClock.h"
#include "ProgramProcess.h"

#include <QRegularExpression>
#include <QStandardPaths>

#include <memory>

class tst_Fleet : public QObject
{
    Q_OBJECT

    ProgramProcess copies[3], strict; // strict: its clock must be synchronised
    QProcess haproxy;
    QTemporaryDir dir;
    quint16 front = FreeFixedPort();

    // A client of the balancer, served once; null when it was not.
    std::unique_ptr<LoopbackClient> Client(int i)
    {
        auto c = std::make_unique<LoopbackClient>();
        const bool served = c->Connect(front, i % 2 ? "::1" : "127.0.0.1", i % 2 ? "::1" : "127.0.0.2") && IsReplyTo(c->Ask("t"), "t");
        return served ? std::move(c) : nullptr;
    }
    QByteArray said; // by haproxy so far
    const bool unsynchronised = ClockStatus::Judge(ReadSystemClock()).state == ClockStatus::State::Unsynchronised;
    qsizetype Said(const QByteArray &what) { return (said += haproxy.readAll()).count(what); }
    bool Start(ProgramProcess &copy, QByteArray &config, int i, const QByteArray &rules)
    {
        const quint16 metrics = FreeFixedPort();
        config.replace(":" + QByteArray::number(1611 + i) + ' ', ":" + QByteArray::number(copy.port) + ' ')
            .replace(" port " + QByteArray::number(9161 + i) + ' ', " port " + QByteArray::number(metrics) + ' ');
        return copy.Prepare("LogIPs=1\r\n") && WriteFile(copy.Path(QStringLiteral("Access.txt")), "proxy-from 127.0.0.1\n" + rules)
               && copy.StartHeadless(metrics);
    }
    // The clients the copy's last status report (SIGUSR1) lists in its busy slots.
    int Listed(ProgramProcess &copy)
    {
        return int(QString::fromUtf8(copy.Stderr())
                       .section(QStringLiteral("connections "), -1)
                       .count(QRegularExpression(QStringLiteral("slot \\d+: (127\\.0\\.0\\.2|::1)\n"))));
    }

private slots:
    void initTestCase()
    {
        const QString config = dir.filePath(QStringLiteral("haproxy.cfg"));
        QByteArray text = ReadFile(QStringLiteral(TALLIX_SOURCE_DIR "/resources/haproxy/tallix-server.cfg"));
        QVERIFY(front && text.replace(":1610\n", ":" + QByteArray::number(front) + '\n').contains("send-proxy-v2"));
        text += text.mid(text.lastIndexOf("    server c2")).replace("c2", "c3").replace(":1613 ", ":1614 ").replace(" 9163 ", " 9164 ");
        for (int i = 0; i < 3; ++i)
            QVERIFY(Start(copies[i], text, i, "deny 127.0.0.3\n"));
        QVERIFY(Start(strict, text, 3, "deny 127.0.0.3\nrequire-synchronised-clock\n"));
        QVERIFY(WriteFile(config, text));
        haproxy.setProcessChannelMode(QProcess::MergedChannels);
        haproxy.start(QStandardPaths::findExecutable(QStringLiteral("haproxy"), {QStringLiteral("/usr/sbin")}),
                      {QStringLiteral("-f"), config, QStringLiteral("-db")});
        QVERIFY2(haproxy.waitForStarted(10000), "haproxy: scripts/setup-debian.sh installs it");
        QTRY_VERIFY_WITH_TIMEOUT(haproxy.state() == QProcess::Running && Client(0), 10000);
        // An unsynchronised clock: the strict copy's /ready says 503 and takes it out.
        QTRY_VERIFY_WITH_TIMEOUT(!unsynchronised || Said("Server copies/c3 is DOWN"), 10000);
    }

    void cleanupTestCase()
    {
        ::kill(pid_t(haproxy.processId()), SIGTERM);
        QVERIFY(haproxy.waitForFinished(10000));
        for (ProgramProcess &p : copies)
            QVERIFY2(p.process.state() == QProcess::NotRunning || p.Stop(), p.Stderr().constData());
        QVERIFY(strict.Stop());
    }

    // No client gets a stamp from the strict copy while its clock is not synchronised; with
    // a synchronised clock it is taken back, and out again when the clock is lost. First as
    // the kernel reads now, then (where allowed) changed. (That the copy then lets its own
    // clients go: tst_ClockTrust.)
    void copyRequiringASynchronisedClock()
    {
        auto clients = [&](int n) {
            for (int i = 0; i < n; ++i)
                if (!Client(i))
                    return false;
            return true;
        };
        QVERIFY(clients(20));
        QCOMPARE(strict.File(ProgramProcess::TodaysLog()).isEmpty(), unsynchronised);
        if (const QString refused = KernelClockRefused(); !refused.isEmpty())
            QSKIP(qPrintable(QStringLiteral("the kernel's clock state is not changed here: ") + refused));
        const qsizetype downs = Said("Server copies/c3 is DOWN") + !unsynchronised;
        QVERIFY(KernelClock("unsync"));
        QTRY_COMPARE_WITH_TIMEOUT(Said("Server copies/c3 is DOWN"), downs, 10000);
        const qsizetype ups = Said("Server copies/c3 is UP");
        QVERIFY(KernelClock("sync"));
        QTRY_COMPARE_WITH_TIMEOUT(Said("Server copies/c3 is UP"), ups + 1, 10000);
        QVERIFY(clients(20) && !strict.File(ProgramProcess::TodaysLog()).isEmpty());
        QVERIFY(KernelClock("unsync"));
        QTRY_COMPARE_WITH_TIMEOUT(Said("Server copies/c3 is DOWN"), downs + 1, 10000);
    }

    void sixHundredAtOnceThenACopyDies()
    {
        std::vector<std::unique_ptr<LoopbackClient>> held;
        for (int i = 0; i < 600; ++i)
            QVERIFY2(held.emplace_back(Client(i)), qPrintable(QString::number(i)));
        // Round robin took clients of both sources to every copy, which logs and lists them
        // as they are.
        LoopbackClient denied;
        QVERIFY(denied.Connect(front, "127.0.0.1", "127.0.0.3") && denied.SendAll("t") && denied.WaitForEnd() && denied.Received().isEmpty());
        for (ProgramProcess &p : copies) {
            const QByteArray log = p.File(ProgramProcess::TodaysLog());
            QVERIFY2(log.contains("] 127.0.0.2\r\n") && log.contains("] ::1\r\n") && !log.contains("127.0.0.3"), log.constData());
            ::kill(pid_t(p.process.processId()), SIGUSR1);
        }
        ::kill(pid_t(strict.process.processId()), SIGUSR1); // served too where the clock is good
        QTRY_COMPARE(Listed(copies[0]) + Listed(copies[1]) + Listed(copies[2]) + Listed(strict), 600);
        const int share = Listed(copies[0]);
        // SIGKILL: its clients are gone, every client of the others is still served, and
        // once the health check notices, new clients go to the others.
        ::kill(pid_t(copies[0].process.processId()), SIGKILL);
        QVERIFY(share > 0 && copies[0].process.waitForFinished(10000));
        int lost = 0;
        for (auto &c : held)
            lost += !IsReplyTo(c->Ask("again", 5000), "again");
        QCOMPARE(lost, share);
        QTRY_VERIFY_WITH_TIMEOUT(Said("Server copies/c0 is DOWN"), 10000);
        for (int i = 0; i < 60; ++i)
            QVERIFY2(Client(i), qPrintable(QString::number(i)));
    }
};

QTEST_GUILESS_MAIN(tst_Fleet)
#include "tst_Fleet.moc"
