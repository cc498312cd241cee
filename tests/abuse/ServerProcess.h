#pragma once
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>

// A port below the ephemeral range that nothing holds on IPv4 or IPv6 right now, so that
// the many short connections of a test never collide with the ports the system hands out.
inline quint16 FreeFixedPort()
{
    std::mt19937 random(std::random_device{}());
    for (int attempt = 0; attempt < 200; ++attempt) {
        const quint16 port = quint16(20000 + random() % 12000);
        bool free = true;
        for (int family : {AF_INET, AF_INET6}) {
            const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
            int rc;
            if (family == AF_INET) {
                sockaddr_in a{};
                a.sin_family = AF_INET;
                a.sin_port = htons(port);
                rc = ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
            } else {
                const int on = 1;
                ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
                sockaddr_in6 a{};
                a.sin6_family = AF_INET6;
                a.sin6_port = htons(port);
                rc = ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
            }
            ::close(fd);
            free = free && rc == 0;
        }
        if (free)
            return port;
    }
    return 0;
}

// The real executable copied alone into a temporary program folder and started there,
// listening at start on a fixed free port. Its descriptors and memory are read through
// /proc; SIGTERM ends it through the normal unload.
class ServerProcess
{
public:
    QTemporaryDir folder;
    QTemporaryDir config; // also holds the program's stderr, where the sanitizers report
    QProcess process;
    quint16 port = 0;

    QString programFolder; // the temporary folder unless PrepareIn chose another

    QString ProgramFolder() const
    {
        return programFolder.isEmpty() ? folder.path() + u'/' : programFolder;
    }
    QString Executable() const { return ProgramFolder() + QStringLiteral("tallix-server"); }

    // Copies the executable and writes Server.ini; the caller may change the folder before
    // Start.
    bool PrepareIn(const QString &otherFolder, const QByteArray &extraSettings = QByteArray())
    {
        programFolder = otherFolder;
        return Prepare(extraSettings);
    }

    bool Prepare(const QByteArray &extraSettings = QByteArray())
    {
        port = FreeFixedPort();
        if (port == 0 || !QFile::copy(QStringLiteral(TALLIX_SERVER_EXECUTABLE), Executable()))
            return false;
        QFile ini(ProgramFolder() + QStringLiteral("Server.ini"));
        if (!ini.open(QIODevice::WriteOnly))
            return false;
        ini.write("StartOnLoad=1\r\nport=" + QByteArray::number(port) + "\r\n" + extraSettings);
        return true;
    }

    // Starts the program, optionally through a wrapper (setpriv, env ...), and waits until
    // it answers on its port.
    bool Start(const QStringList &wrapper = {}, const QStringList &extraEnv = {},
               bool waitForPort = true)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        // A sanitizer build keeps freed memory in quarantine (256 MB by default) and may
        // keep fake stack frames, which would hide the program's own memory use from the
        // readings through /proc.
        const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   asan + (asan.isEmpty() ? "" : ":")
                       + QStringLiteral("quarantine_size_mb=4:detect_stack_use_after_return=0"));
        for (const QString &kv : extraEnv)
            env.insert(kv.section(u'=', 0, 0), kv.section(u'=', 1));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(ProgramFolder());
        // Into a file: a pipe nobody reads during a long blocking test could fill and stall it.
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(config.filePath(QStringLiteral("stderr.txt")));
        if (wrapper.isEmpty()) {
            process.start(Executable(), {});
        } else {
            process.start(wrapper.first(), wrapper.mid(1) + QStringList{Executable()});
        }
        if (!process.waitForStarted(10000))
            return false;
        return !waitForPort || WaitForPort();
    }

    bool WaitForPort(int timeoutMs = 20000) const
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(port);
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
            linger l{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            ::close(fd);
            if (ok)
                return true;
            if (process.state() == QProcess::NotRunning)
                return false;
            QTest::qWait(50);
        }
        return false;
    }

    qint64 Pid() const { return process.processId(); }

    int OpenDescriptors() const
    {
        return int(QDir(QStringLiteral("/proc/%1/fd").arg(Pid()))
                       .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
                       .size());
    }

    // Resident memory in KiB.
    qint64 ResidentKiB() const
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(Pid()));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').first().toLongLong();
        return -1;
    }

    // SIGTERM: the normal unload runs. True when the program ended by itself with status 0.
    bool Stop(int timeoutMs = 30000)
    {
        if (process.state() == QProcess::NotRunning)
            return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        process.terminate();
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished(5000);
            return false;
        }
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    // What the program wrote to stderr, where the sanitizers report.
    QByteArray Diagnostics() const
    {
        QFile f(config.filePath(QStringLiteral("stderr.txt")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static bool HasSanitizerReport(const QByteArray &stderrText)
    {
        return stderrText.contains("ERROR: AddressSanitizer")
               || stderrText.contains("ERROR: LeakSanitizer")
               || stderrText.contains("runtime error:");
    }
};
