// The real kernel's clock state followed by the window (here) and the real program, whose Access.txt
// requires a synchronised clock; where allowed, changed for real under kernel-clock.sh's guard.
#include "ClockTrust.h"
#include "KernelClock.h"
#include "ProgramProcess.h"
#include "TrayIcon.h"
#include "XdgAutostartStore.h"
#include "frmMain.h"

#include <QLineEdit>

class tst_ClockTrust : public QObject
{
    Q_OBJECT
private slots:
    void followsTheKernel()
    {
        QTemporaryDir folder, config;
        frmMain::Environment env;
        env.files = FileLocations::InFolder(folder.path() + u'/');
        env.startupStore = std::make_unique<XdgAutostartStore>(config.filePath(QStringLiteral("autostart")));
        frmMain w(std::move(env));
        w.Form_Load();
        const QLineEdit *utc = w.findChild<QLineEdit *>(QStringLiteral("txtUTCTime"));
        const TrayIcon *tray = w.findChild<TrayIcon *>();
        ProgramProcess p;
        const quint16 metrics = FreeFixedPort();
        QVERIFY(p.Prepare() && WriteFile(p.Path(QStringLiteral("Access.txt")), "require-synchronised-clock 250ms\n"));
        QVERIFY(p.StartHeadless(metrics));

        auto get = [&](const char *path) { return Exchange(metrics, QByteArray("GET ") + path + " HTTP/1.1\r\n\r\n"); };
        // The one state everywhere it shows; a clock that meets the 250 ms is served, another refused.
        auto shows = [&](bool good, bool met) {
            LoopbackClient c;
            const bool served = c.Connect(p.port) && IsReplyTo(c.Ask("t", 1000), "t");
            return utc->toolTip().startsWith(good ? "The system clock is synchronised (maximum error "
                                                  : "The system clock is not synchronised (maximum error 16 s).")
                   && (utc->palette().color(QPalette::Text) == QColor(214, 40, 40)) != good
                   && tray->ShownTooltip().endsWith(u"\nSystem clock not synchronised") != good
                   && get("/metrics").contains(good ? "\ntallix_clock_synchronized 1\n" : "\ntallix_clock_synchronized 0\n")
                   && get("/ready").startsWith(met ? "HTTP/1.1 200 " : "HTTP/1.1 503 ") && served == met;
        };
        const auto lastClockLine = [&] {
            const QByteArray said = p.Stderr(), line = said.mid(said.lastIndexOf("tallix-server: the system clock is"));
            return line.left(line.indexOf('\n') + 1);
        };
        const QByteArray badLine = "tallix-server: the system clock is not synchronised (maximum error 16 s); refusing clients, "
                                   "Access.txt: require-synchronised-clock 250 ms\n";
        // As the kernel reads now, whoever keeps it.
        const ClockStatus now = ClockStatus::Judge(ReadSystemClock());
        const bool good = now.state == ClockStatus::State::Synchronised;
        QVERIFY(now.state != ClockStatus::State::Unknown);
        QTRY_VERIFY_WITH_TIMEOUT(shows(good, ClockRequirement{0.25}.MetBy(now)), 2000);
        QCOMPARE(p.Stderr().count(badLine), good ? 0 : 1);

        if (const QString refused = KernelClockRefused(); !refused.isEmpty())
            QSKIP(qPrintable(QStringLiteral("the kernel's clock state is not changed here: ") + refused));
        QVERIFY(KernelClock("unsync"));
        QTRY_VERIFY_WITH_TIMEOUT(shows(false, false) && lastClockLine() == badLine, 2000);
        const qsizetype lines = p.Stderr().count("system clock is");
        QVERIFY(KernelClock("sync"));
        QTRY_VERIFY_WITH_TIMEOUT(shows(true, true), 2000);
        QVERIFY(p.Stderr().contains("tallix-server: the system clock is synchronised again (maximum error "));
        LoopbackClient held;
        QVERIFY(held.Connect(p.port) && IsReplyTo(held.Ask("t"), "t"));
        QVERIFY(KernelClock("unsync"));
        QTRY_VERIFY_WITH_TIMEOUT(shows(false, false), 2000);
        QVERIFY(held.WaitForEnd(1000)); // let go, to reconnect elsewhere
        // One line at each change, never one a tick: still the last once a later tick has
        // read a new estimated error (the guard puts it back).
        QCOMPARE(QProcess::execute(QStringLiteral("adjtimex"), {QStringLiteral("--esterror"), QStringLiteral("15000000")}), 0);
        QTRY_VERIFY_WITH_TIMEOUT(get("/metrics").contains("\ntallix_clock_estimated_error_seconds 15\n"), 3000);
        QVERIFY(lastClockLine() == badLine && p.Stderr().count("system clock is") == lines + 2);
        QVERIFY(p.Stop());
    }
};

QTEST_MAIN(tst_ClockTrust)
#include "tst_ClockTrust.moc"
