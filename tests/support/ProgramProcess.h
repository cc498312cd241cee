#pragma once
// The real executable copied alone into a temporary program folder and started there.
#include "Files.h"
#include "Loopback.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

class ProgramProcess
{
public:
    QTemporaryDir folder;
    QTemporaryDir home; // XDG_CONFIG_HOME; also holds the program's standard error
    QProcess process;
    quint16 port = FreeFixedPort();
    QString executable = QStringLiteral("tallix-server"); // in the folder

    QString Path(const QString &name) const { return folder.filePath(name); }
    static QString TodaysLog() { return QStringLiteral("Logs/%1.log").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))); }

    // Server.ini starts it at load on the free port; the given lines follow.
    bool Prepare(const QByteArray &settings = QByteArray())
    {
        return port && QFile::copy(QStringLiteral(TALLIX_SERVER_EXECUTABLE), Path(QStringLiteral("tallix-server")))
               && WriteFile(Path(QStringLiteral("Server.ini")), "StartOnLoad=1\r\nport=" + QByteArray::number(port) + "\r\n" + settings);
    }

    // Offscreen, under a wrapper (setpriv, a shell passing sockets) when one is given.
    bool Start(const QStringList &args = {}, const QStringList &env = {}, bool waitForPort = true, const QStringList &wrapper = {})
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        e.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        e.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        // Freed memory in a sanitizer's quarantine would hide the program's own use.
        e.insert(QStringLiteral("ASAN_OPTIONS"),
                 e.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":quarantine_size_mb=4:detect_stack_use_after_return=0"));
        for (const QString &kv : env) // "NAME=value" sets, "-NAME" removes
            kv.startsWith(u'-') ? e.remove(kv.mid(1)) : e.insert(kv.section(u'=', 0, 0), kv.section(u'=', 1));
        process.setProcessEnvironment(e);
        process.setWorkingDirectory(folder.path());
        process.setStandardErrorFile(home.filePath(QStringLiteral("stderr.txt")));
        const QString exe = Path(executable);
        if (wrapper.isEmpty())
            process.start(exe, args);
        else
            process.start(wrapper.first(), wrapper.mid(1) + QStringList{exe} + args);
        return process.waitForStarted(10000) && (!waitForPort || WaitForPort());
    }

    // The window-less mode, with no display, and the metrics endpoint on the port if one is given:
    // the daemon copied beside the window program and given --headless, as command lines
    // written for the window program do, or with TALLIX_TEST_WINDOW_HEADLESS that program's own.
    bool StartHeadless(quint16 metrics = 0, QStringList env = {}, bool waitForPort = true, const QStringList &wrapper = {})
    {
        if (!qEnvironmentVariableIsSet("TALLIX_TEST_WINDOW_HEADLESS")) {
            executable = QStringLiteral("tallix-serverd");
            QFile::copy(QStringLiteral(TALLIX_SERVERD_EXECUTABLE), Path(executable));
        }
        QStringList args{QStringLiteral("--headless")};
        if (metrics)
            args << QStringLiteral("--metrics") << QStringLiteral("127.0.0.1:%1").arg(metrics);
        return Start(args, env << QStringLiteral("-DISPLAY") << QStringLiteral("-WAYLAND_DISPLAY"), waitForPort, wrapper);
    }

    bool WaitForPort(int timeoutMs = 20000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired() && process.state() != QProcess::NotRunning) {
            LoopbackClient probe;
            if (probe.Connect(port))
                return true;
            QTest::qWait(50);
        }
        return false;
    }

    // Whether it has set up its handling of the signal yet (SigCgt in /proc/PID/status).
    bool Catches(int signal) const
    {
        const QByteArray status = ReadFile(QStringLiteral("/proc/%1/status").arg(process.processId()));
        const qsizetype at = status.indexOf("\nSigCgt:");
        return at >= 0 && (status.mid(at + 9, 17).trimmed().toULongLong(nullptr, 16) >> (signal - 1) & 1);
    }

    int OpenDescriptors() const
    {
        return int(
            QDir(QStringLiteral("/proc/%1/fd").arg(process.processId())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
    }

    qint64 ResidentKiB() const
    {
        // statm's second field: resident pages.
        return ReadFile(QStringLiteral("/proc/%1/statm").arg(process.processId())).split(' ').value(1).toLongLong()
               * (::sysconf(_SC_PAGESIZE) / 1024);
    }

    // SIGTERM (or another signal; 0 for none) ends it through the normal unload; true when
    // it then ended by itself with status 0.
    bool Stop(int signal = SIGTERM, int timeoutMs = 30000)
    {
        if (process.state() != QProcess::NotRunning)
            ::kill(pid_t(process.processId()), signal);
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished(5000);
            return false;
        }
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    QByteArray Stderr() const { return ReadFile(home.filePath(QStringLiteral("stderr.txt"))); }
    QByteArray File(const QString &name) const { return ReadFile(Path(name)); }
};
