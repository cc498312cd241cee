// The real program in a temporary folder, driven over loopback: its limits under load and
// hostile clients, and what still holds when its environment is broken.
#include "ProgramProcess.h"

#include <QDate>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTimeZone>

#include <climits>
#include <memory>
#include <thread>
#include <vector>

namespace {

// The window-less mode runs the load cases too, without any display.
const bool Headless = qEnvironmentVariableIsSet("TALLIX_TEST_HEADLESS");
bool StartInMode(ProgramProcess &p, const QStringList &env = {}, bool waitForPort = true, const QStringList &wrapper = {})
{
    return Headless ? p.StartHeadless(0, env, waitForPort, wrapper) : p.Start({}, env, waitForPort, wrapper);
}

bool Served(quint16 port, const char *address = "127.0.0.1")
{
    LoopbackClient c;
    return c.Connect(port, address) && IsReplyTo(c.Ask("time"), "time");
}

enum Broken { FolderReadOnly, IniFolder, IniDanglingLink, LogsFile, PortTaken };

} // namespace

class tst_Program : public QObject
{
    Q_OBJECT

    ProgramProcess server; // shared by the load cases
    int baselineFds = 0;

private slots:
    void initTestCase()
    {
        QVERIFY(server.Prepare("LogIPs=1\r\n"));
        QVERIFY(StartInMode(server));
        // One full connection first, so that lazily made objects exist before the baseline:
        // what is open with it, less its own socket once the program has let it go.
        LoopbackClient first;
        QVERIFY(first.Connect(server.port) && IsReplyTo(first.Ask("time"), "time"));
        baselineFds = server.OpenDescriptors() - 1;
        first.Reset();
        QTRY_COMPARE(server.OpenDescriptors(), baselineFds);
    }

    void cleanup()
    {
        // Whatever a case did, the shared program still serves and has let every client go.
        QVERIFY(server.process.state() == QProcess::Running);
        QVERIFY(Served(server.port));
        QTRY_COMPARE_WITH_TIMEOUT(server.OpenDescriptors(), baselineFds, 15000);
    }

    void cleanupTestCase() { QVERIFY2(server.Stop(), server.Stderr().constData()); }

    // 254 slow senders and a bystander take every slot; the next client is let go at once,
    // unanswered and not logged. The bystander is served while the others send their
    // requests a byte at a time, and each gets back exactly what it sent.
    void allSlotsSlowSendersAndTheNextRefused()
    {
        const int loggedBefore = server.File(ProgramProcess::TodaysLog()).count("] 127.0.0.1\r\n");
        std::vector<LoopbackClient> drip(254); // made in place, never moved
        for (auto &c : drip)
            QVERIFY(c.Connect(server.port));
        LoopbackClient bystander;
        QVERIFY(bystander.Connect(server.port) && IsReplyTo(bystander.Ask("first"), "first"));
        QCOMPARE(Exchange(server.port, "extra"), QByteArray()); // "(no end)": a 256th client was kept
        QByteArray sent;
        for (int round = 0; round < 50; ++round) {
            sent += char('a' + round % 26);
            for (auto &c : drip)
                QVERIFY(c.SendAll(sent.right(1)));
            if (round % 10 == 0)
                QVERIFY(IsReplyTo(bystander.Ask("busy"), "busy"));
            QTest::qWait(10);
        }
        for (auto &c : drip)
            QVERIFY(c.EchoesAll(sent));
        QCOMPARE(server.File(ProgramProcess::TodaysLog()).count("] 127.0.0.1\r\n"), loggedBefore + 255);
        // A freed slot serves the next client.
        drip.front().Reset();
        QTRY_VERIFY_WITH_TIMEOUT(Served(server.port), 5000);
    }

    // Also: a log it cannot write for a while is told once in either mode, not at every
    // connection, and so is its return.
    void connectRequestCloseChurn()
    {
        const int warmup = 500, cycles = 4000;
        const QString today = server.Path(ProgramProcess::TodaysLog());
        qint64 rssAfterWarmup = 0;
        for (int i = 0; i < cycles; ++i) {
            if (i == warmup)
                rssAfterWarmup = server.ResidentKiB();
            QVERIFY(i != 100 || (QFile::remove(today) && QDir().mkdir(today)));
            QVERIFY(i != 300 || QDir().rmdir(today));
            LoopbackClient c;
            QVERIFY2(c.Connect(server.port) && IsReplyTo(c.Ask("x"), "x"), qPrintable(QString::number(i)));
            // Most leave with a reset; some close in order, few enough that their
            // TIME_WAITs cannot use up the client ports.
            if (i % 64 == 0) {
                c.ShutdownWrite();
                QVERIFY(c.WaitForEnd());
            }
        }
        const qint64 grown = server.ResidentKiB() - rssAfterWarmup;
        // The allocator may keep a little; a leak per connection would show as megabytes.
        QVERIFY2(grown < 2048, qPrintable(QStringLiteral("RSS grew by %1 KiB").arg(grown)));
        QCOMPARE(server.Stderr().count("cannot write the connection log in "), 1);
        QCOMPARE(server.Stderr().count("Logs is written again"), 1);
    }

    // A signal stops as the stop button does, inside the event loop: the replies queued for a
    // client that sends without reading still leave, then the end, not a reset. Standard
    // error on a pipe nobody reads any more ends nothing (the window-less mode writes to it
    // at start, on SIGUSR1 and at the stop).
    void signalStopDrainsWithStderrGone()
    {
        ProgramProcess p;
        const QStringList stderrGone = {QStringLiteral("bash"), QStringLiteral("-c"), QStringLiteral("exec 2> >(:); wait $!; exec \"$0\" \"$@\"")};
        QVERIFY(p.Prepare() && StartInMode(p, {}, true, stderrGone));
        LoopbackClient c;
        QVERIFY(c.Connect(p.port));
        const QByteArray data = Pattern(64 * 1024 * 1024);
        const qint64 sent = c.Flood(data, 3000);
        QVERIFY2(sent >= 0 && sent < data.size(), "the program kept reading from a client that never reads");
        ::kill(pid_t(p.process.processId()), SIGUSR1);
        ::kill(pid_t(p.process.processId()), SIGTERM);
        QVERIFY(c.WaitForEnd(20000) && !c.WasReset());
        const auto echoed = Echoed(c.Received());
        QVERIFY(echoed && data.startsWith(*echoed));
        QVERIFY2(echoed->size() >= 64 * 1024, qPrintable(QString::number(echoed->size())));
        c.Reset();
        QVERIFY(p.Stop(0, 15000)); // ended by itself, with status 0
    }

    // Each row breaks one thing, then starts the program at load on its port and ends it
    // with a signal. What must still hold: no crash, exit 0 on the signal (also while the
    // failed start's message box is open), serving or staying idle, and Server.ini.
    void brokenEnvironment_data()
    {
        QTest::addColumn<int>("broken");
        QTest::addColumn<bool>("serves");
        QTest::addColumn<int>("signal");
        QTest::newRow("folder read-only, Server.ini writable") << int(FolderReadOnly) << true << SIGTERM;
        QTest::newRow("Server.ini a folder") << int(IniFolder) << false << SIGTERM;
        QTest::newRow("Server.ini a dangling link") << int(IniDanglingLink) << false << SIGTERM;
        QTest::newRow("Logs a file") << int(LogsFile) << true << SIGINT;
        QTest::newRow("port taken on IPv6") << int(PortTaken) << false << SIGHUP;
    }
    void brokenEnvironment()
    {
        if (Headless)
            QSKIP("the window's unload; the window-less mode never writes Server.ini");
        QFETCH(int, broken);
        QFETCH(bool, serves);
        QFETCH(int, signal);
        ProgramProcess p;
        QVERIFY(p.Prepare("LogIPs=1\r\n; a note the save drops\r\n"));
        const QString ini = p.Path(QStringLiteral("Server.ini"));
        // Held on IPv6 alone: the failed start must let its IPv4 half go too.
        const int held = broken == PortTaken ? HoldPort("::", p.port) : -2; // -1: it could not be held
        auto release = qScopeGuard([&] { held < 0 || ::close(held); });
        QVERIFY(held != -1);
        if (broken == IniFolder)
            QVERIFY(QFile::remove(ini) && QDir().mkpath(ini + QStringLiteral("/inside")));
        if (broken == IniDanglingLink)
            QVERIFY(QFile::remove(ini) && QFile::link(QStringLiteral("missing/Server.ini"), ini));
        if (broken == LogsFile)
            QVERIFY(WriteFile(p.Path(QStringLiteral("Logs")), "not a folder"));
        // Launched at login: the unload writes the entry again, which nobody (below) may not.
        QVERIFY(WriteFile(p.home.filePath(QStringLiteral("autostart/tallix-server.desktop")), "[Desktop Entry]\nExec=/x\n"));
        const bool entryFails = broken == FolderReadOnly && ::geteuid() == 0;

        QStringList wrapper;
        auto writable = qScopeGuard([&] { QFile::setPermissions(p.folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
        if (broken == FolderReadOnly) {
            // Root writes anywhere: then the program runs as nobody, who owns only the file.
            if (::geteuid() == 0) {
                QVERIFY(::chown(QFile::encodeName(ini).constData(), 65534, 65534) == 0);
                wrapper = QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                      QStringLiteral("--clear-groups")};
            }
            const auto readAndEnter = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
            QVERIFY(QFile::setPermissions(p.folder.path(), readAndEnter));
            QVERIFY(QFile::setPermissions(p.home.path(), readAndEnter | QFile::WriteOwner));
        }

        QVERIFY(p.Start({}, {}, false, wrapper));
        if (serves)
            QVERIFY(p.WaitForPort());
        // The signal is meant for a program that handles it, with the failed start's box open.
        QTRY_VERIFY_WITH_TIMEOUT(p.Catches(signal), 10000);
        if (broken == PortTaken)
            QTRY_VERIFY_WITH_TIMEOUT(p.Stderr().contains("tallix-server: Invalid TCP port number or port in use.\n"), 10000);
        QVERIFY2(p.process.state() == QProcess::Running, p.Stderr().constData());
        // Served when it should be; idle (its failed start holds no port) when not.
        QCOMPARE(Served(p.port, "127.0.0.1"), serves);
        if (broken != PortTaken)
            QCOMPARE(Served(p.port, "::1"), serves);
        QVERIFY2(p.Stop(signal, 10000), "it did not end with status 0 on the signal");
        // A save that fails says so, and only then.
        QCOMPARE(p.Stderr().contains("settings could not be saved to " + QFile::encodeName(ini)), broken == IniFolder || broken == IniDanglingLink);
        QCOMPARE(p.Stderr().contains("The launch at start-up could not be saved ("), entryFails);

        const QByteArray saved = "StartOnLoad=1\r\nMinimizeOnLoad=0\r\nLogIPs=1\r\nport=" + QByteArray::number(p.port) + "\r\nDaylightSavings=0\r\n";
        if (broken == IniFolder)
            QVERIFY(QFileInfo(ini + QStringLiteral("/inside")).isDir());
        else if (broken == IniDanglingLink)
            QVERIFY(QFileInfo(ini).isSymLink() && !QFileInfo::exists(p.Path(QStringLiteral("missing"))));
        else
            QCOMPARE(p.File(QStringLiteral("Server.ini")), saved);
        if (broken == LogsFile)
            QCOMPARE(p.File(QStringLiteral("Logs")), QByteArray("not a folder"));
        // A save that failed left no temporary file behind.
        QCOMPARE(QDir(p.folder.path()).entryList({QStringLiteral("Server.ini?*")}, QDir::Files | QDir::Hidden), QStringList());
    }

    // The UTC served across real changes of the clocks, north and south, spring and autumn,
    // the wall clock set just before each by libfaketime (the monotonic clock stays real):
    // a client asking in a closed loop gets each reply's UTC, also in the milliseconds before
    // the clock tick follows the change. Copies on the real clock whose Server.ini was written
    // in the other season: a saved daylight value follows the change missed meanwhile; without
    // one the default box stands (replies an hour ahead). The month follows LC_TIME, not LANG.
    void daylightChanges()
    {
        const QString faketime = QStringLiteral("/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1");
        if (!QFileInfo::exists(faketime))
            QSKIP("libfaketime is not installed (Debian package faketime)");
        struct Copy
        {
            const char *zone;
            QDateTime change; // UTC; invalid: the real clock
            QByteArray settings;
            int boxAfter; // as saved at the stop
            std::unique_ptr<ProgramProcess> p{new ProgramProcess};
            qint64 offsetMs = 0; // of the copy's UTC (its clock, or its replies for a box against the season) from the real one
            int nearChange = 0, wrong = 0;
            QByteArray firstWrong{}; // replies within a second of the change; wrong ones
        };
        const auto utc = [](int mo, int d, int h) { return QDateTime(QDate(2026, mo, d), QTime(h, 0), Qt::UTC); };
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const bool north = QTimeZone("Europe/Berlin").isDaylightTime(now);
        const char *inDaylightNow = north ? "Europe/Berlin" : "Australia/Sydney";
        const int year = now.date().year() - (north || now.date().month() >= 7 ? 0 : 1);
        const QDateTime standardDay(QDate(year, north ? 1 : 7, 15), QTime(12, 0), Qt::UTC);
        Copy copies[] = {{"America/New_York", utc(3, 8, 7), "DaylightSavings=0\r\n", 1},
                         {"Europe/Berlin", utc(10, 25, 1), "DaylightSavings=1\r\n", 0},
                         {"Australia/Sydney", utc(10, 3, 16), "DaylightSavings=0\r\n", 1},
                         {"Australia/Sydney", utc(4, 4, 16), "DaylightSavings=1\r\n", 0},
                         {inDaylightNow, {}, "DaylightSavings=0\r\n", 1},
                         {inDaylightNow, {}, "MinimizeOnLoad=0\r\n", 0}};
        constexpr int SecsBeforeChange = 10;
        for (Copy &c : copies) {
            c.offsetMs = c.change.isValid() || c.boxAfter ? 0 : 3600000;
            QStringList env = {QStringLiteral("TZ=") + c.zone, QStringLiteral("-LC_ALL"), QStringLiteral("LANG=de_DE.UTF-8"),
                               QStringLiteral("LC_TIME=C.UTF-8")};
            if (c.change.isValid()) {
                c.offsetMs = (now.secsTo(c.change) - SecsBeforeChange) * 1000;
                env << QStringLiteral("LD_PRELOAD=") + faketime << QStringLiteral("FAKETIME=%1").arg(c.offsetMs / 1000)
                    << QStringLiteral("FAKETIME_DONT_FAKE_MONOTONIC=1");
            }
            QVERIFY(c.p->Prepare(c.settings));
            QFile ini(c.p->Path(QStringLiteral("Server.ini")));
            QVERIFY(c.change.isValid() || (ini.open(QIODevice::ReadWrite) && ini.setFileTime(standardDay, QFileDevice::FileModificationTime)));
            QVERIFY(StartInMode(*c.p, env, false));
        }
        const auto replyAt = [](qint64 ms) {
            return "t:" + QLocale::c().toString(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC), QStringLiteral("ddMMMyyHHmmss")).toUpper().toLatin1();
        };
        // Each asks until 1.5 s after its change (or once, on the real clock); every reply
        // must carry the second of the copy's clock before the ask or after the answer.
        const auto askAcross = [&](Copy &c) {
            LoopbackClient client;
            if (!client.Connect(c.p->port))
                return void(c.wrong = -1);
            for (bool once = true; once || c.change.isValid(); once = false) {
                const qint64 before = QDateTime::currentMSecsSinceEpoch() + c.offsetMs;
                if (c.change.isValid() && before > c.change.toMSecsSinceEpoch() + 1500)
                    break;
                const QByteArray reply = client.Ask("t");
                const qint64 after = QDateTime::currentMSecsSinceEpoch() + c.offsetMs;
                c.nearChange += qAbs(before - c.change.toMSecsSinceEpoch()) < 1000;
                if (reply != replyAt(before) && reply != replyAt(after) && !c.wrong++)
                    c.firstWrong = reply;
            }
        };
        // Still before the change, or the start-up rule would be tried instead of the tick.
        for (Copy &c : copies)
            QVERIFY(c.p->WaitForPort()
                    && (!c.change.isValid() || QDateTime::currentMSecsSinceEpoch() + c.offsetMs < c.change.toMSecsSinceEpoch() - 2000));
        QTest::qWait((SecsBeforeChange - 2) * 1000 - int(now.msecsTo(QDateTime::currentDateTimeUtc())));
        {
            std::vector<std::jthread> clients; // joined as the block ends
            for (Copy &c : copies)
                clients.emplace_back(askAcross, std::ref(c));
        }
        for (Copy &c : copies) {
            if (c.change.isValid())
                qInfo("%s, change at %s: %d replies within a second of it", c.zone, qPrintable(c.change.toString(Qt::ISODate)), c.nearChange);
            QVERIFY2(c.wrong == 0, qPrintable(QStringLiteral("%1: %2 wrong, first %3").arg(c.zone).arg(c.wrong).arg(c.firstWrong)));
            QVERIFY2(!c.change.isValid() || c.nearChange > 200, c.zone);
            QVERIFY(c.p->Stop());
            if (!Headless)
                QVERIFY2(c.p->File(QStringLiteral("Server.ini")).contains("DaylightSavings=" + QByteArray::number(c.boxAfter)), c.zone);
        }
    }

    // The window-less mode as a service manager runs it: no display, ready once the port
    // listens, status on SIGUSR1, Server.ini never written, a clean stop on SIGTERM.
    void headlessService()
    {
        if (!Headless)
            QSKIP("run by tst_Program_headless");
        ProgramProcess p;
        // What the service tells its manager, as socat receives it on the notify socket.
        const QString notifyPath = p.home.filePath(QStringLiteral("notify"));
        QProcess notify;
        notify.start(QStringLiteral("socat"), {QStringLiteral("-u"), QStringLiteral("UNIX-RECV:") + notifyPath, QStringLiteral("STDOUT")});
        QTRY_VERIFY(QFileInfo::exists(notifyPath));
        QVERIFY(p.Prepare("LogIPs=1\r\nport = kept as it is\r\nMinimizeOnLoad=yes\r\nDaylightSavings=-1\r\nLogIPs=0\r\n"));
        const QByteArray ini = p.File(QStringLiteral("Server.ini"));
        const quint16 metricsPort = FreeFixedPort();
        QVERIFY(p.StartHeadless(metricsPort, {QStringLiteral("NOTIFY_SOCKET=") + notifyPath}));
        QTRY_COMPARE(notify.peek(64), QByteArray("READY=1"));
        LoopbackClient a, b;
        QVERIFY(a.Connect(p.port) && b.Connect(p.port, "::1") && IsReplyTo(b.Ask("t"), "t"));
        ::kill(pid_t(p.process.processId()), SIGUSR1);
        // The start's probe of the port was a connection too.
        QTRY_VERIFY(p.Stderr().contains("connections 3 since launch, 3 since start; most at once"));
        const QByteArray scraped = Exchange(metricsPort, "GET /metrics HTTP/1.1\r\n\r\n");
        for (const char *line : {"\ntallix_connections_total 3\n", "\ntallix_busy_slots 2\n", "\ntallix_requests_total 1\n",
                                 "\ntallix_reply_bytes_total 15\n", "\ntallix_listening 1\n"})
            QVERIFY2(scraped.contains(line), scraped.constData());
        // No platform plugin was ever loaded, so no display was ever asked for.
        QFile maps(QStringLiteral("/proc/%1/maps").arg(p.process.processId()));
        QVERIFY(maps.open(QIODevice::ReadOnly) && !maps.readAll().contains("platforms/libq"));
        // SIGHUP reads Access.txt again: the clients being served stay (and count toward the
        // per-address limit), new ones meet its rules.
        QVERIFY(WriteFile(p.Path(QStringLiteral("Access.txt")), "deny 127.0.0.0/8\nallow nothing\nper-address 1\n"));
        ::kill(pid_t(p.process.processId()), SIGHUP);
        QTRY_VERIFY(p.Stderr().contains("tallix-server: Access.txt read again\ntallix-server: Access.txt ignored, line 2: allow nothing\n"));
        QVERIFY(!Served(p.port) && !Served(p.port, "::1") && IsReplyTo(a.Ask("a"), "a") && IsReplyTo(b.Ask("b"), "b"));
        b.Reset();
        QTRY_VERIFY(Served(p.port, "::1"));
        QVERIFY(p.Stop(SIGTERM, 10000));
        QTRY_COMPARE(notify.peek(64), QByteArray("READY=1STOPPING=1"));
        notify.kill(), notify.waitForFinished();
        QCOMPARE(p.File(QStringLiteral("Server.ini")), ini);
        QVERIFY(p.Stderr().contains(QStringLiteral("listening on port %1 (IPv6 and IPv4)\n").arg(p.port).toUtf8()));
        QVERIFY(p.Stderr().endsWith("tallix-server: stopped\n"));
        // What of Server.ini is not read as written is said first.
        QVERIFY(p.Stderr().startsWith("tallix-server: Server.ini line 5: MinimizeOnLoad=yes reads as 0\n"
                                      "tallix-server: Server.ini line 6: DaylightSavings=-1 is not 0, 1 or 2; the lines after it are not read\n"));

        // A port it cannot use ends it at once with status 1: the time port with the window's
        // message, or the metrics port.
        for (const bool metricsPort : {false, true}) {
            ProgramProcess taken;
            const quint16 held = metricsPort ? FreeFixedPort() : taken.port;
            const int holder = HoldPort(metricsPort ? "0.0.0.0" : "::", held);
            QVERIFY(holder >= 0 && taken.Prepare() && taken.StartHeadless(metricsPort ? held : 0, {}, false));
            QVERIFY(taken.process.waitForFinished(10000));
            ::close(holder);
            QCOMPARE(taken.process.exitCode(), 1);
            QVERIFY(taken.Stderr().contains(metricsPort ? QStringLiteral("metrics: cannot listen on 127.0.0.1:%1: ").arg(held).toUtf8()
                                                        : "Invalid TCP port number or port in use."));
        }
    }

    // Sockets passed as systemd passes them: from descriptor 3 on, LISTEN_PID the
    // program's own. The test holds the socket as the service manager would, so it stays
    // open while no copy runs and a client that connects then is served by the next copy.
    void socketActivation()
    {
        if (!Headless)
            QSKIP("run by tst_Program_headless");
        ProgramProcess p;
        QVERIFY(p.Prepare());
        const int held = HoldPort("::", p.port, true);
        auto release = qScopeGuard([&] { ::close(held); });
        QVERIFY(held >= 0);
        const QStringList passing = {
            QStringLiteral("bash"), QStringLiteral("-c"),
            QStringLiteral("exec 3<&%1 4</dev/null %1<&-; LISTEN_PID=$$ LISTEN_FDS=2 LISTEN_FDNAMES=time:other exec \"$0\" \"$@\"").arg(held)};
        QVERIFY(p.StartHeadless(0, {}, true, passing));
        QVERIFY(Served(p.port, "127.0.0.1") && Served(p.port, "::1"));
        QVERIFY(p.Stop());
        const QString said = QStringLiteral(
                                 "tallix-server: descriptor 4 (other) from the service manager is not a listening TCP socket; not used\n"
                                 "tallix-server: listening on [::]:%1 (IPv6 and IPv4) from the service manager; port \"%1\" in Server.ini not used\n")
                                 .arg(p.port);
        QVERIFY2(p.Stderr().contains(said.toUtf8()), p.Stderr().constData());
        LoopbackClient queued;
        QVERIFY(queued.Connect(p.port) && queued.SendAll("queued"));

        // Counts no manager would pass: one past every open descriptor says nothing of those
        // not there and serves the client queued meanwhile; one past the largest is not used.
        ProgramProcess big;
        QVERIFY(big.Prepare());
        const QString count = QStringLiteral("exec %1 %2<&-; LISTEN_PID=$$ LISTEN_FDS=%3 exec \"$0\" \"$@\"");
        const QStringList bash = {QStringLiteral("bash"), QStringLiteral("-c")};
        QVERIFY(big.StartHeadless(0, {}, false, bash + QStringList{count.arg(QStringLiteral("3<&%1").arg(held)).arg(held).arg(200000)}));
        QVERIFY(queued.EchoesAll("queued") && Served(p.port) && big.Stop());
        QVERIFY2(big.Stderr().count('\n') < 8, big.Stderr().left(500).constData());
        QVERIFY(big.StartHeadless(0, {}, true, bash + QStringList{count.arg(QString()).arg(held).arg(INT_MAX)}));
        QVERIFY(Served(big.port) && big.Stop());
        QVERIFY(big.Stderr().contains("LISTEN_FDS=2147483647 from the service manager is too large; not used"));

        // Debian's own stand-in for the service manager, with an IPv4 and an IPv6 socket.
        ProgramProcess s;
        const QString port = QString::number(s.port);
        const QStringList activate = {QStringLiteral("systemd-socket-activate"), "-l", "127.0.0.1:" + port, "-l", "[::1]:" + port};
        QVERIFY(s.Prepare() && s.StartHeadless(0, {}, true, activate));
        QVERIFY(Served(s.port, "127.0.0.1") && Served(s.port, "::1"));
        QVERIFY(s.Stop() && s.Stderr().contains(QStringLiteral("listening on 127.0.0.1:%1, [::1]:%1 from the service manager").arg(port).toUtf8()));
    }
};

QTEST_GUILESS_MAIN(tst_Program)
#include "tst_Program.moc"
