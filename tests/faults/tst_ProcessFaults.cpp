// The real program in a temporary folder, with its environment broken in the ways a desktop
// breaks it: files where folders belong, folders it may not write, a full disk, its port
// taken, no usable time zone. Nothing may crash, nothing already stored may be damaged.
//
// Root ignores permission bits, so the "may not write" cases either use a read-only mount
// (which stops root too) or run the program as nobody through setpriv.
#include "LoopbackClient.h"
#include "ServerProcess.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTest>
#include <QTimeZone>

#include <poll.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <pwd.h>

namespace {

QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Temporary files a failed atomic save might leave beside Server.ini.
QStringList Leftovers(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.removeAll(QStringLiteral("tallix-server"));
    names.removeAll(QStringLiteral("Server.ini"));
    names.removeAll(QStringLiteral("filler"));
    return names;
}

QStringList AsNobody()
{
    return {QStringLiteral("setpriv"), QStringLiteral("--reuid=nobody"),
            QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups"), QStringLiteral("--")};
}

void ChownTree(const QString &path, uid_t uid, gid_t gid)
{
    ::chown(QFile::encodeName(path).constData(), uid, gid);
    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        ::lchown(QFile::encodeName(it.next()).constData(), uid, gid);
}

// The program folder and config folder handed to nobody, so that only the parts the test
// takes back are refused.
bool GiveToNobody(ServerProcess &server)
{
    const passwd *pw = ::getpwnam("nobody");
    if (!pw)
        return false;
    for (const QTemporaryDir *dir : {&server.folder, &server.config}) {
        ChownTree(dir->path(), pw->pw_uid, pw->pw_gid);
        ::chmod(QFile::encodeName(dir->path()).constData(), 0755);
    }
    return true;
}

QString Today() { return QDate::currentDate().toString(QStringLiteral("yyyyMMdd")); }

// The stamp of a reply read back as a UTC moment (C locale month names).
QDateTime StampTime(const QByteArray &reply)
{
    const QByteArray stamp = reply.right(13);
    QDateTime t = QLocale::c().toDateTime(QString::fromLatin1(stamp.left(2) + stamp.mid(2, 1)
                                          + stamp.mid(3, 2).toLower() + stamp.mid(5)),
                                          QStringLiteral("ddMMMyyHHmmss"));
    t.setTimeZone(QTimeZone::utc());
    return t.addYears(100); // two-digit years read as 19xx
}

} // namespace

class tst_ProcessFaults : public QObject
{
    Q_OBJECT

    // The program served one client correctly and then ended cleanly on SIGTERM.
    void ServeOnceAndStop(ServerProcess &server)
    {
        LoopbackClient c;
        QVERIFY(c.Connect(server.port));
        QVERIFY(IsReplyTo(c.Ask("time"), "time"));
        c.Reset();
        QVERIFY2(server.Stop(), server.Diagnostics().constData());
        QVERIFY2(!ServerProcess::HasSanitizerReport(server.Diagnostics()),
                 server.Diagnostics().constData());
    }

    // Started without listening (a settings file it cannot read): run a moment, then stop.
    void RunIdleAndStop(ServerProcess &server, const QStringList &wrapper = {})
    {
        QVERIFY(server.Start(wrapper, {}, false));
        QTest::qWait(1500);
        QVERIFY(server.process.state() == QProcess::Running);
        QVERIFY2(server.Stop(), server.Diagnostics().constData());
        QVERIFY2(!ServerProcess::HasSanitizerReport(server.Diagnostics()),
                 server.Diagnostics().constData());
    }

private slots:
    void logsIsAFile()
    {
        ServerProcess server;
        QVERIFY(server.Prepare("LogIPs=1\r\n"));
        const QString logs = server.ProgramFolder() + QStringLiteral("Logs");
        QVERIFY(WriteFile(logs, "not a folder\r\n"));
        QVERIFY(server.Start());
        ServeOnceAndStop(server);
        QCOMPARE(ReadFile(logs), QByteArray("not a folder\r\n"));
        QVERIFY(ReadFile(server.ProgramFolder() + QStringLiteral("Server.ini")).contains("LogIPs=1"));
    }

    void logFileIsAFolder()
    {
        // A name that cannot be opened for appending, for root too.
        ServerProcess server;
        QVERIFY(server.Prepare("LogIPs=1\r\n"));
        const QString logs = server.ProgramFolder() + QStringLiteral("Logs/");
        QVERIFY(QDir().mkpath(logs + Today() + QStringLiteral(".log")));
        QVERIFY(server.Start());
        ServerProcess &s = server;
        ServeOnceAndStop(s);
        QVERIFY(QFileInfo(logs + Today() + QStringLiteral(".log")).isDir());
    }

    void logsAndLogFileReadOnlyForNobody()
    {
        ServerProcess server;
        QVERIFY(server.Prepare("LogIPs=1\r\n"));
        const QString logs = server.ProgramFolder() + QStringLiteral("Logs/");
        QVERIFY(QDir().mkpath(logs));
        const QString logFile = logs + Today() + QStringLiteral(".log");
        QVERIFY(WriteFile(logFile, "[earlier] 192.0.2.7\r\n"));
        QVERIFY(GiveToNobody(server));
        ::chmod(QFile::encodeName(logFile).constData(), 0444);
        ::chmod(QFile::encodeName(logs).constData(), 0555);
        QVERIFY(server.Start(AsNobody()));
        ServeOnceAndStop(server);
        QCOMPARE(ReadFile(logFile), QByteArray("[earlier] 192.0.2.7\r\n"));
        QCOMPARE(QDir(logs).entryList(QDir::Files).size(), 1);
    }

    void serverIniReadOnlyForNobody()
    {
        ServerProcess server;
        QVERIFY(server.Prepare("MinimizeOnLoad=0\r\n; the operator's note\r\n"));
        const QString ini = server.ProgramFolder() + QStringLiteral("Server.ini");
        const QByteArray before = ReadFile(ini);
        QVERIFY(GiveToNobody(server));
        ::chown(QFile::encodeName(ini).constData(), 0, 0);
        ::chmod(QFile::encodeName(ini).constData(), 0444);
        QVERIFY(server.Start(AsNobody()));
        ServeOnceAndStop(server);
        // A file the account may not write keeps its content; the folder is writable, so
        // replacing it by a rename would have been possible, and must not happen.
        QCOMPARE(ReadFile(ini), before);
        QCOMPARE(Leftovers(server.ProgramFolder()), QStringList());
    }

    void serverIniIsAFolder()
    {
        ServerProcess server;
        QVERIFY(server.Prepare());
        const QString ini = server.ProgramFolder() + QStringLiteral("Server.ini");
        QVERIFY(QFile::remove(ini));
        QVERIFY(QDir().mkdir(ini));
        QVERIFY(WriteFile(ini + QStringLiteral("/inside"), "kept"));
        RunIdleAndStop(server);
        QVERIFY(QFileInfo(ini).isDir());
        QCOMPARE(ReadFile(ini + QStringLiteral("/inside")), QByteArray("kept"));
        QCOMPARE(Leftovers(server.ProgramFolder()), QStringList());
    }

    void serverIniDanglingLink()
    {
        ServerProcess server;
        QVERIFY(server.Prepare());
        const QString ini = server.ProgramFolder() + QStringLiteral("Server.ini");
        QVERIFY(QFile::remove(ini));
        QVERIFY(QFile::link(QStringLiteral("missing-folder/Server.ini"), ini));
        RunIdleAndStop(server);
        // The link stays a link; nothing appeared where it points or beside it.
        QVERIFY(QFileInfo(ini).isSymLink());
        QVERIFY(!QFileInfo::exists(server.ProgramFolder() + QStringLiteral("missing-folder")));
        QCOMPARE(Leftovers(server.ProgramFolder()), QStringList());
    }

    void programFolderReadOnlyAtUnload()
    {
        // A read-only bind mount stops root as well as any other account.
        ServerProcess server;
        QVERIFY(server.Prepare("LogIPs=1\r\n"));
        const QString ini = server.ProgramFolder() + QStringLiteral("Server.ini");
        const QByteArray before = ReadFile(ini);
        QVERIFY(server.Start());
        const QByteArray folder = QFile::encodeName(server.folder.path());
        if (::mount(folder.constData(), folder.constData(), nullptr, MS_BIND, nullptr) != 0
            || ::mount(nullptr, folder.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY,
                       nullptr) != 0) {
            ::umount2(folder.constData(), MNT_DETACH);
            server.Stop();
            QSKIP("cannot make a read-only bind mount here (needs root and mount rights)");
        }
        // The log cannot be written either now: the client is still served.
        ServeOnceAndStop(server);
        ::umount2(folder.constData(), MNT_DETACH);
        QCOMPARE(ReadFile(ini), before);
        QCOMPARE(Leftovers(server.ProgramFolder()), QStringList());
    }

    void fullDiskAtSaveAndLog()
    {
        // A small file system of its own, filled up while the program runs.
        QTemporaryDir mountPoint;
        const QByteArray where = QFile::encodeName(mountPoint.path());
        const qint64 exeSize = QFileInfo(QStringLiteral(TALLIX_SERVER_EXECUTABLE)).size();
        const QByteArray options = "size=" + QByteArray::number((exeSize / 4096 + 64) * 4096);
        if (::mount("tmpfs", where.constData(), "tmpfs", 0, options.constData()) != 0)
            QSKIP("cannot mount a tmpfs here (needs root and mount rights)");
        auto unmount = qScopeGuard([&] { ::umount2(where.constData(), MNT_DETACH); });

        ServerProcess server;
        const QString programFolder = mountPoint.path() + QStringLiteral("/program/");
        QVERIFY(QDir().mkpath(programFolder));
        // Point the process at the folder on the mount.
        QVERIFY(server.PrepareIn(programFolder, "LogIPs=1\r\nDaylightSavings=0\r\n"));
        const QString ini = programFolder + QStringLiteral("Server.ini");
        const QByteArray before = ReadFile(ini);

        QVERIFY(server.Start());
        // Today's log ends 10 bytes short of a page, so the next line only partly fits.
        QVERIFY(QDir().mkpath(programFolder + QStringLiteral("Logs")));
        const QString logFile = programFolder + QStringLiteral("Logs/") + Today() + QStringLiteral(".log");
        QVERIFY(WriteFile(logFile, "[" + QByteArray(4086 - 14, 'x') + "] 192.0.2.7\r\n"));

        // Fill the disk.
        {
            QFile filler(programFolder + QStringLiteral("filler"));
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            const QByteArray block(4096, 'f');
            while (filler.write(block) == block.size()) {
            }
        }
        LoopbackClient full;
        QVERIFY(full.Connect(server.port));
        QVERIFY(IsReplyTo(full.Ask("full"), "full"));
        full.Reset();
        QVERIFY(QFile::remove(programFolder + QStringLiteral("filler")));
        LoopbackClient later;
        QVERIFY(later.Connect(server.port));
        QVERIFY(IsReplyTo(later.Ask("later"), "later"));
        later.Reset();

        // Full again for the save at unload.
        {
            QFile filler(programFolder + QStringLiteral("filler"));
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            const QByteArray block(4096, 'f');
            while (filler.write(block) == block.size()) {
            }
        }
        QVERIFY2(server.Stop(), server.Diagnostics().constData());
        QVERIFY(!ServerProcess::HasSanitizerReport(server.Diagnostics()));
        QCOMPARE(ReadFile(ini), before);
        QCOMPARE(Leftovers(programFolder), QStringList());

        // Every line of the log is whole: a line the full disk cut short must not glue
        // itself to the next one.
        const QByteArray log = ReadFile(logFile);
        QList<QByteArray> broken;
        const QList<QByteArray> lines = log.split('\n');
        for (const QByteArray &line : lines.mid(0, lines.size() - 1))
            if (!line.endsWith('\r') || !line.startsWith('[') || !line.contains("] "))
                broken.append(line.right(40));
        QVERIFY2(lines.last().isEmpty(), "the log ends in the middle of a line");
        QVERIFY2(broken.isEmpty(), broken.join(" | ").constData());
    }

    void portTakenByOneProtocol_data()
    {
        QTest::addColumn<bool>("v6");
        QTest::newRow("IPv4-only listener") << false;
        QTest::newRow("IPv6-only listener") << true;
    }
    void portTakenByOneProtocol()
    {
        QFETCH(bool, v6);
        ServerProcess server;
        QVERIFY(server.Prepare());
        // Another program listens on the port on one protocol only.
        const int other = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        QVERIFY(other >= 0);
        auto closeOther = qScopeGuard([&] { ::close(other); });
        int rc;
        if (v6) {
            const int on = 1;
            ::setsockopt(other, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
            sockaddr_in6 a{};
            a.sin6_family = AF_INET6;
            a.sin6_port = htons(server.port);
            rc = ::bind(other, reinterpret_cast<sockaddr *>(&a), sizeof a);
        } else {
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(server.port);
            rc = ::bind(other, reinterpret_cast<sockaddr *>(&a), sizeof a);
        }
        QVERIFY(rc == 0 && ::listen(other, 8) == 0);

        // The start fails (the program shows its one message box and waits on it).
        QVERIFY(server.Start({}, {}, false));
        QTest::qWait(2000);
        QVERIFY(server.process.state() == QProcess::Running);
        // The other program still gets its clients, on its protocol.
        LoopbackClient c;
        QVERIFY(c.Connect(server.port, v6));
        pollfd p{other, POLLIN, 0};
        QCOMPARE(::poll(&p, 1, 2000), 1);
        const int accepted = ::accept(other, nullptr, nullptr);
        QVERIFY(accepted >= 0);
        ::close(accepted);
        // The program does not hold the port on the other protocol either.
        LoopbackClient otherProtocol;
        QVERIFY(!otherProtocol.Connect(server.port, !v6));
        // Ending the session should close the program even while its box is open.
        server.process.terminate();
        const bool ended = server.process.waitForFinished(15000);
        if (!ended) {
            server.process.kill();
            server.process.waitForFinished(5000);
        }
        QVERIFY(!ServerProcess::HasSanitizerReport(server.Diagnostics()));
        // Whatever happened, the stored settings are whole.
        QVERIFY(ReadFile(server.ProgramFolder() + QStringLiteral("Server.ini")).startsWith("StartOnLoad=1"));
        QVERIFY2(ended, "the program did not end on SIGTERM while its box was open");
    }

    void timeZoneUnusable_data()
    {
        QTest::addColumn<QString>("tz");
        QTest::newRow("unknown zone name") << QStringLiteral("Nowhere/Nothing");
        QTest::newRow("zone file of garbage") << QStringLiteral("GARBAGE");
        QTest::newRow("empty") << QString();
    }
    void timeZoneUnusable()
    {
        QFETCH(QString, tz);
        ServerProcess server;
        QVERIFY(server.Prepare());
        if (tz == QStringLiteral("GARBAGE")) {
            tz = server.config.filePath(QStringLiteral("garbage.tz"));
            QVERIFY(WriteFile(tz, QByteArray("TZif2 not really a zone file") + QByteArray(300, '\xff')));
        }
        QVERIFY(server.Start({}, {QStringLiteral("TZ=") + tz, QStringLiteral("LC_ALL=C")}));
        LoopbackClient c;
        QVERIFY(c.Connect(server.port));
        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-2);
        const QByteArray reply = c.Ask("time");
        const QDateTime after = QDateTime::currentDateTimeUtc().addSecs(2);
        QVERIFY(IsReplyTo(reply, "time"));
        // glibc takes such a zone as UTC, so local time is UTC and the reply is plain UTC.
        const QDateTime stamped = StampTime(reply);
        QVERIFY2(stamped >= before && stamped <= after, reply.constData());
        c.Reset();
        QVERIFY(server.Stop());
        QVERIFY(!ServerProcess::HasSanitizerReport(server.Diagnostics()));
    }
};

QTEST_GUILESS_MAIN(tst_ProcessFaults)
#include "tst_ProcessFaults.moc"
