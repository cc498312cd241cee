#include "MainWindowRig.h"
#include "TrayIcon.h"

#include <QDir>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTcpServer>

// The main window serving real clients on loopback.
class TestMainServer : public QObject
{
    Q_OBJECT
private slots:
    void startLooksRunningAndServes();
    void repliesEchoEveryByte();
    void slotsAndCounters();
    void stopDisconnectsAndRestartResets();
    void peakSinceLaunchIsNumeric();
    void failedStarts_data();
    void failedStarts();
    void portTexts_data();
    void portTexts();
    void daylightBoxChosenAtEveryRequest();
    void connectionLog();
    void slotsBeyond255AreTurnedAway();

private:
    static quint16 FreePort();
    // Clicks OK on the message box the next start shows, remembering what it said.
    void AnswerNextMessageBox();
    QString boxText_, boxTitle_;
};

quint16 TestMainServer::FreePort()
{
    // Below the ephemeral range, and checked free on both protocols.
    for (quint16 p = 20000 + QRandomGenerator::global()->bounded(10000); p < 32767; ++p) {
        QTcpServer v4, v6;
        if (v4.listen(QHostAddress::AnyIPv4, p) && v6.listen(QHostAddress::AnyIPv6, p))
            return p;
    }
    return 0;
}

void TestMainServer::AnswerNextMessageBox()
{
    boxText_.clear();
    boxTitle_.clear();
    QTimer::singleShot(50, this, [this] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return AnswerNextMessageBox();
        boxText_ = box->text();
        boxTitle_ = box->windowTitle();
        QVERIFY(box->icon() == QMessageBox::NoIcon);
        QCOMPARE(box->buttons().size(), 1);
        box->button(QMessageBox::Ok)->click();
    });
}

void TestMainServer::startLooksRunningAndServes()
{
    MainWindowRig rig;
    rig.w->Form_Load();
    QVERIFY(!rig.w->ServerRunning);
    QCOMPARE(rig.w->txtPort->text(), QStringLiteral("1610"));
    rig.w->txtPort->setText(QStringLiteral("0")); // the system picks a free port
    rig.w->butStartStop->click();

    QVERIFY(rig.w->ServerRunning);
    QCOMPARE(rig.w->butStartStop->text(), QStringLiteral("&Stop Server"));
    QVERIFY(!rig.w->txtPort->isEnabled());
    QCOMPARE(rig.w->lblStartStopTime->text(), QStringLiteral("Server started at:"));
    QVERIFY(rig.w->txtConnections1->isEnabled() && rig.w->lblMaxSim->isEnabled());
    QCOMPARE(rig.w->traMain->Tooltip(),
             QStringLiteral("Tallix Server - Active since ") + rig.w->txtStartStopTime->text());
    QVERIFY(rig.Port() != 0);

    Client c;
    QVERIFY(c.Connect(rig.Port()));
    const QByteArray first = c.Ask("time");
    QVERIFY2(QRegularExpression(QStringLiteral("^time:\\d\\d[A-Z]{3}\\d{8}$")).match(QString::fromLatin1(first)).hasMatch(), first);
    // The same connection answers again, each time with a stamp of its own.
    const QByteArray second = c.Ask("time");
    QCOMPARE(second.left(5), QByteArray("time:"));
    QCOMPARE(c.socket.state(), QAbstractSocket::ConnectedState);

    rig.w->butStartStop->click();
    QVERIFY(!rig.w->ServerRunning);
    QCOMPARE(rig.w->butStartStop->text(), QStringLiteral("&Start Server"));
    QCOMPARE(rig.w->lblStartStopTime->text(), QStringLiteral("Server stopped at:"));
    QVERIFY(rig.w->txtPort->isEnabled() && !rig.w->txtConnections1->isEnabled());
    QVERIFY(rig.w->txtStartStopTime->isEnabled());
    QCOMPARE(rig.w->traMain->Tooltip(),
             QStringLiteral("Tallix Server - Idle since ") + rig.w->txtStartStopTime->text());
}

void TestMainServer::repliesEchoEveryByte()
{
    FakeTime fake(MakeDateValue(2026, 12, 5, 17, 2, 52), {300, -60});
    MainWindowRig rig(&fake.zone, &fake.clock);
    rig.w->txtPort->setText(QStringLiteral("0"));
    rig.w->StartServer();
    Client c;
    QVERIFY(c.Connect(rig.Port()));

    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    // Written at once, the 256 bytes may arrive in pieces, each answered on its own;
    // every byte comes back in order either way.
    c.socket.write(all);
    QByteArray got;
    QVERIFY(WaitFor([&] {
        got += c.socket.readAll();
        return got.count(":05DEC26220252") >= 1 && got.size() - 14 * got.count(":05DEC26220252") >= 256;
    }));
    QCOMPARE(QByteArray(got).replace(":05DEC26220252", ""), all);

    QCOMPARE(c.Ask("TIME\r\n"), QByteArray("TIME\r\n:05DEC26220252"));
    QCOMPARE(c.Ask("x"), QByteArray("x:05DEC26220252"));
    QCOMPARE(c.Ask("x").size(), 15);
}

void TestMainServer::slotsAndCounters()
{
    MainWindowRig rig;
    rig.w->txtPort->setText(QStringLiteral("0"));
    rig.w->StartServer();
    Client a, b, c;
    QVERIFY(a.Connect(rig.Port()));
    QVERIFY(WaitFor([&] { return rig.w->txtConnections2->text() == QLatin1String("1"); }));
    QCOMPARE(rig.w->Slots.SocketCount(), 1);
    QCOMPARE(rig.w->txtMaxSim2->text(), QStringLiteral("1"));
    QVERIFY(b.Connect(rig.Port()));
    QVERIFY(c.Connect(rig.Port()));
    QVERIFY(WaitFor([&] { return rig.w->txtConnections2->text() == QLatin1String("3"); }));
    QCOMPARE(rig.w->txtMaxSim2->text(), QStringLiteral("3"));
    QVERIFY(rig.w->Slots.InUse(1) && rig.w->Slots.InUse(2) && rig.w->Slots.InUse(3));

    // The client on slot 2 leaves: its slot is the next one given out.
    b.socket.disconnectFromHost();
    QVERIFY(WaitFor([&] { return !rig.w->Slots.InUse(2); }));
    Client d;
    QVERIFY(d.Connect(rig.Port()));
    QVERIFY(WaitFor([&] { return rig.w->Slots.InUse(2); }));
    QCOMPARE(rig.w->Slots.SocketCount(), 3);
    // The boxes follow within a moment, all together.
    QTRY_COMPARE(rig.w->txtConnections1->text(), QStringLiteral("4"));
    QCOMPARE(rig.w->txtConnections2->text(), QStringLiteral("4"));
    QCOMPARE(rig.w->txtMaxSim2->text(), QStringLiteral("3"));
    // The reused slot serves its new client, and the others still answer.
    QCOMPARE(d.Ask("d").left(2), QByteArray("d:"));
    QCOMPARE(a.Ask("a").left(2), QByteArray("a:"));
    QCOMPARE(c.Ask("c").left(2), QByteArray("c:"));
    rig.w->StopServer();
}

void TestMainServer::stopDisconnectsAndRestartResets()
{
    MainWindowRig rig;
    rig.w->txtPort->setText(QString::number(FreePort()));
    rig.w->StartServer();
    QVERIFY(rig.w->ServerRunning);
    Client a, b;
    QVERIFY(a.Connect(rig.Port()));
    QVERIFY(b.Connect(rig.Port()));
    QVERIFY(WaitFor([&] { return rig.w->txtConnections2->text() == QLatin1String("2"); }));

    rig.w->StopServer();
    QVERIFY(WaitFor([&] { return a.socket.state() == QAbstractSocket::UnconnectedState
                                 && b.socket.state() == QAbstractSocket::UnconnectedState; }));
    QCOMPARE(rig.w->txtConnections1->text(), QStringLiteral("2"));
    QCOMPARE(rig.w->txtConnections2->text(), QStringLiteral("2"));
    QCOMPARE(rig.w->txtMaxSim2->text(), QStringLiteral("2"));
    QVERIFY(!rig.w->txtMaxSim2->isEnabled());
    QVERIFY(!rig.w->socServer->IsLoaded(1) && !rig.w->socServer->IsLoaded(2));

    rig.w->StartServer();
    QVERIFY(rig.w->ServerRunning);
    QCOMPARE(rig.w->txtConnections2->text(), QStringLiteral("0"));
    QCOMPARE(rig.w->txtMaxSim2->text(), QStringLiteral("0"));
    Client c;
    QVERIFY(c.Connect(rig.Port()));
    QVERIFY(WaitFor([&] { return rig.w->txtConnections2->text() == QLatin1String("1"); }));
    QVERIFY(rig.w->Slots.InUse(1));
    QCOMPARE(rig.w->Slots.SocketCount(), 1);
    QCOMPARE(rig.w->txtConnections1->text(), QStringLiteral("3"));
    QCOMPARE(rig.w->txtMaxSim1->text(), QStringLiteral("2"));
    rig.w->StopServer();
}

void TestMainServer::peakSinceLaunchIsNumeric()
{
    MainWindowRig rig;
    rig.w->txtMaxSim1->setText(QStringLiteral("9"));
    rig.w->txtPort->setText(QStringLiteral("0"));
    rig.w->StartServer();
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 10; ++i) {
        clients.push_back(std::make_unique<Client>());
        QVERIFY(clients.back()->Connect(rig.Port()));
    }
    QVERIFY(WaitFor([&] { return rig.w->txtMaxSim2->text() == QLatin1String("10"); }));
    QCOMPARE(rig.w->txtMaxSim1->text(), QStringLiteral("10")); // 10 beats 9 as a number
    rig.w->StopServer();
    rig.w->txtMaxSim1->setText(QStringLiteral("12"));
    clients.clear();
    rig.w->StartServer();
    Client c;
    QVERIFY(c.Connect(rig.Port()));
    QVERIFY(WaitFor([&] { return rig.w->txtMaxSim2->text() == QLatin1String("1"); }));
    QCOMPARE(rig.w->txtMaxSim1->text(), QStringLiteral("12"));
    rig.w->StopServer();
}

void TestMainServer::failedStarts_data()
{
    QTest::addColumn<QString>("holder"); // who holds the port, if anyone
    QTest::addColumn<QString>("portText");
    QTest::newRow("beyond 65535") << QString() << QStringLiteral("70000");
    QTest::newRow("negative") << QString() << QStringLiteral("-1");
    QTest::newRow("beyond 32 bits") << QString() << QStringLiteral("1e12");
    QTest::newRow("held on IPv4") << QStringLiteral("v4") << QString();
    QTest::newRow("held on IPv6") << QStringLiteral("v6") << QString();
}

void TestMainServer::failedStarts()
{
    QFETCH(QString, holder);
    QFETCH(QString, portText);
    QTcpServer other;
    if (!holder.isEmpty()) {
        const quint16 p = FreePort();
        QVERIFY(other.listen(holder == QLatin1String("v4") ? QHostAddress::AnyIPv4 : QHostAddress::AnyIPv6, p));
        portText = QString::number(p);
    }
    MainWindowRig rig;
    rig.w->Form_Load();
    rig.w->txtPort->setText(portText);
    AnswerNextMessageBox();
    rig.w->StartServer();
    QCOMPARE(boxText_, QStringLiteral("Invalid TCP port number or port in use."));
    QCOMPARE(boxTitle_, QStringLiteral("Error"));
    QVERIFY(!rig.w->ServerRunning);
    QCOMPARE(rig.w->butStartStop->text(), QStringLiteral("&Start Server"));
    QVERIFY(rig.w->txtPort->isEnabled());
    QCOMPARE(rig.w->lblStartStopTime->text(), QStringLiteral("Server stopped at:"));
    QCOMPARE(rig.w->txtConnections2->text(), QStringLiteral("0"));
    QCOMPARE(rig.w->txtMaxSim2->text(), QStringLiteral("0"));
    QVERIFY(rig.w->traMain->Tooltip().startsWith(QStringLiteral("Tallix Server - Idle since ")));
}

void TestMainServer::portTexts_data()
{
    QTest::addColumn<QString>("pattern"); // %1 is an even free port
    QTest::addColumn<int>("offset");      // where the server must listen, from %1
    QTest::newRow("letters after") << QStringLiteral("%1abc") << 0;
    QTest::newRow("blanks between digits") << QStringLiteral(" %1 ") << 0;
    QTest::newRow("half to even, down") << QStringLiteral("%1.5") << 0;
    QTest::newRow("half above even") << QStringLiteral("%1.5+") << 0;
}

void TestMainServer::portTexts()
{
    QFETCH(QString, pattern);
    QFETCH(int, offset);
    quint16 p = FreePort();
    p &= ~1;
    QString text = pattern.arg(p);
    if (pattern == QLatin1String(" %1 ")) // "2 0 4 8 0" style: blanks between every digit
        text = QString::number(p).split(QString(), Qt::SkipEmptyParts).join(QLatin1Char(' '));
    MainWindowRig rig;
    rig.w->txtPort->setText(text);
    rig.w->StartServer();
    QVERIFY2(rig.w->ServerRunning, qPrintable(text));
    QCOMPARE(int(rig.Port()), p + offset);
    rig.w->StopServer();

    // An odd port and a half goes up to the even one.
    rig.w->txtPort->setText(QStringLiteral("%1.5").arg(p - 1));
    rig.w->StartServer();
    QCOMPARE(int(rig.Port()), int(p));
    rig.w->StopServer();
}

void TestMainServer::daylightBoxChosenAtEveryRequest()
{
    FakeTime fake(MakeDateValue(2026, 3, 5, 10, 15, 30), {300, -60});
    MainWindowRig rig(&fake.zone, &fake.clock);
    rig.w->txtPort->setText(QStringLiteral("0"));
    rig.w->StartServer();
    Client c;
    QVERIFY(c.Connect(rig.Port()));
    rig.w->chkDaylightSavings->setValue(0);
    QCOMPARE(c.Ask("t"), QByteArray("t:05MAR26151530"));
    rig.w->chkDaylightSavings->setValue(1);
    QCOMPARE(c.Ask("t"), QByteArray("t:05MAR26141530"));
    rig.w->chkDaylightSavings->setValue(2); // grayed counts as checked
    QCOMPARE(c.Ask("t"), QByteArray("t:05MAR26141530"));
}

void TestMainServer::connectionLog()
{
    FakeTime fake(MakeDateValue(2026, 12, 5, 23, 59, 59), {});
    MainWindowRig rig(&fake.zone, &fake.clock);
    rig.w->txtPort->setText(QStringLiteral("0"));
    rig.w->StartServer();
    const QString logs = rig.ProgramFolder() + QStringLiteral("Logs");

    rig.w->chkLog->setValue(0);
    Client a;
    QVERIFY(a.Connect(rig.Port()));
    QVERIFY(WaitFor([&] { return rig.w->txtConnections2->text() == QLatin1String("1"); }));
    QVERIFY(QFileInfo(logs).isDir());
    QVERIFY(QDir(logs).isEmpty());

    rig.w->chkLog->setValue(2);
    Client b;
    QVERIFY(b.Connect(rig.Port()));
    QVERIFY(WaitFor([&] { return rig.w->txtConnections2->text() == QLatin1String("2"); }));
    QVERIFY(QDir(logs).isEmpty());

    rig.w->chkLog->setValue(1);
    Client c, d;
    QVERIFY(c.Connect(rig.Port()));
    QVERIFY(WaitFor([&] { return rig.w->txtConnections2->text() == QLatin1String("3"); }));
    fake.clock.now = MakeDateValue(2026, 12, 6, 0, 0, 1);
    QVERIFY(d.Connect(rig.Port(), QStringLiteral("::1")));
    QVERIFY(WaitFor([&] { return rig.w->txtConnections2->text() == QLatin1String("4"); }));

    QFile day1(logs + QStringLiteral("/20261205.log")), day2(logs + QStringLiteral("/20261206.log"));
    QVERIFY(day1.open(QIODevice::ReadOnly) && day2.open(QIODevice::ReadOnly));
    const DateText texts;
    QCOMPARE(day1.readAll(), ("[" + texts.FormatTime(MakeDateValue(2026, 12, 5, 23, 59, 59)) + "] 127.0.0.1\r\n").toUtf8());
    QCOMPARE(day2.readAll(), ("[" + texts.FormatTime(MakeDateValue(2026, 12, 6, 0, 0, 1)) + "] ::1\r\n").toUtf8());
    rig.w->StopServer();
}

void TestMainServer::slotsBeyond255AreTurnedAway()
{
    MainWindowRig rig;
    rig.w->txtPort->setText(QStringLiteral("0"));
    rig.w->StartServer();
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 255; ++i) {
        clients.push_back(std::make_unique<Client>());
        clients.back()->socket.connectToHost(QStringLiteral("127.0.0.1"), rig.Port());
    }
    QVERIFY(WaitFor([&] { return rig.w->txtConnections2->text() == QLatin1String("255"); }, 20000));
    Client extra;
    extra.socket.connectToHost(QStringLiteral("127.0.0.1"), rig.Port());
    // Taken and closed at once, neither counted nor given a slot.
    QVERIFY(WaitFor([&] { return extra.socket.state() == QAbstractSocket::UnconnectedState; }));
    QCOMPARE(rig.w->txtConnections2->text(), QStringLiteral("255"));
    QCOMPARE(rig.w->Slots.SocketCount(), 255);
    // The 255 keep being served.
    QCOMPARE(clients.front()->Ask("first").left(6), QByteArray("first:"));
    QCOMPARE(clients.back()->Ask("last").left(5), QByteArray("last:"));
    rig.w->StopServer();
}

QTEST_MAIN(TestMainServer)
#include "test_main_server.moc"
