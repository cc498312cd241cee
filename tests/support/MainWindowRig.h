#pragma once
#include "FakeTime.h"
#include "XdgAutostartStore.h"
#include "frmMain.h"

#include <QTemporaryDir>
#include <QTcpSocket>
#include <QtTest>
#include <memory>

// A main window whose program folder and autostart folder are temporary, so that what it
// reads and writes can be looked at; the zone and clock are the system's unless given.
struct MainWindowRig
{
    QTemporaryDir folder;
    QTemporaryDir config;
    std::unique_ptr<frmMain> w;

    explicit MainWindowRig(const TimeZone *zone = nullptr, const LocalClock *clock = nullptr)
    {
        frmMain::Environment env;
        env.zone = zone;
        env.clock = clock;
        const QString path = folder.path() + QLatin1Char('/');
        env.programFolder = [path] { return path; };
        env.startupStore = std::make_unique<XdgAutostartStore>(AutostartFolder());
        w = std::make_unique<frmMain>(std::move(env));
    }

    QString ProgramFolder() const { return folder.path() + QLatin1Char('/'); }
    QString AutostartFolder() const { return config.path() + QStringLiteral("/autostart"); }

    void WriteSettings(const QByteArray &content) const
    {
        QFile f(ProgramFolder() + QStringLiteral("Server.ini"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    QByteArray ReadSettings() const
    {
        QFile f(ProgramFolder() + QStringLiteral("Server.ini"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    quint16 Port() const { return w->socServer->LocalPort(); }
};

// Spins the event loop until the condition holds or the time is up.
template <typename Condition>
bool WaitFor(Condition condition, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(2);
    }
    return true;
}

// A client on loopback driven without blocking the event loop the server shares with it.
struct Client
{
    QTcpSocket socket;

    bool Connect(quint16 port, const QString &host = QStringLiteral("127.0.0.1"))
    {
        socket.connectToHost(host, port);
        return WaitFor([this] { return socket.state() == QAbstractSocket::ConnectedState; });
    }

    // Sends and waits for a reply of the request's length plus the stamp's 14 bytes.
    QByteArray Ask(const QByteArray &request)
    {
        socket.write(request);
        const qint64 expected = request.size() + 14;
        QByteArray got;
        WaitFor([&] { return (got += socket.readAll()).size() >= expected; });
        return got;
    }
};
