#include "MainWindowRig.h"
#include "DesktopEntryText.h"
#include "TrayIcon.h"
#include "frmHelp.h"

#include <QPlainTextEdit>

// Load and unload of the main window, the tray gestures and the help button.
class TestMainLifecycle : public QObject
{
    Q_OBJECT
private slots:
    void firstRunWithNothingStored();
    void startAndMinimiseOnLoad();
    void badFirstLineAppliesNothing();
    void unloadStopsRemovesSavesAndWritesEntry();
    void unloadWithUncheckedBoxDeletesEntry();
    void unloadInUnwritableFolderStillUpdatesEntry();
    void minimiseHidesAndDoubleClickRestores();
    void rightClickTogglesRightDoubleClickUnloads();
    void otherGesturesDoNothing();
    void helpButtonOpensOneWindowThatOutlivesTheMain();
};

void TestMainLifecycle::firstRunWithNothingStored()
{
    MainWindowRig rig;
    rig.w->Form_Load();
    rig.w->ShowAfterLoad();
    QVERIFY(rig.w->isVisible());
    QCOMPARE(rig.w->txtPort->text(), QStringLiteral("1610"));
    QCOMPARE(rig.w->chkLoadOnStartUp->Value(), 0);
    QCOMPARE(rig.w->chkLog->Value(), 0);
    QVERIFY(!rig.w->ServerRunning);
    QVERIFY(!rig.w->txtStartStopTime->text().isEmpty());
    QCOMPARE(rig.w->lblStartStopTime->text(), QStringLiteral("Program started at:"));
    QVERIFY(rig.w->traMain);
    QCOMPARE(rig.w->traMain->State(), qint16(1));
    QCOMPARE(rig.w->traMain->Tooltip(), QStringLiteral("Tallix Server - Idle since ") + rig.w->txtStartStopTime->text());
}

void TestMainLifecycle::startAndMinimiseOnLoad()
{
    MainWindowRig rig;
    rig.WriteSettings("StartOnLoad=1\r\nMinimizeOnLoad=1\r\nport=0\r\n");
    rig.w->Form_Load();
    QVERIFY(rig.w->ServerRunning); // listening before the load returns
    rig.w->ShowAfterLoad();
    QVERIFY(!rig.w->isVisible());
    QVERIFY(rig.w->windowState() & Qt::WindowMinimized);
    Client c;
    QVERIFY(c.Connect(rig.Port()));
    QCOMPARE(c.Ask("hi").left(3), QByteArray("hi:"));
    QVERIFY(rig.w->traMain->Tooltip().startsWith(QStringLiteral("Tallix Server - Active since ")));
}

void TestMainLifecycle::badFirstLineAppliesNothing()
{
    MainWindowRig rig;
    rig.WriteSettings("StartOnLoad=5\r\nMinimizeOnLoad=1\r\nport=0\r\n");
    rig.w->Form_Load();
    rig.w->ShowAfterLoad();
    QVERIFY(!rig.w->ServerRunning);
    QVERIFY(rig.w->isVisible());
    QCOMPARE(rig.w->txtPort->text(), QStringLiteral("1610"));
}

void TestMainLifecycle::unloadStopsRemovesSavesAndWritesEntry()
{
    MainWindowRig rig;
    rig.WriteSettings("port=0\r\n");
    rig.w->Form_Load();
    rig.w->ShowAfterLoad();
    rig.w->StartServer();
    Client c;
    QVERIFY(c.Connect(rig.Port()));
    rig.w->chkLog->setValue(1);
    rig.w->chkDaylightSavings->setValue(2);
    rig.w->chkLoadOnStartUp->setValue(1);
    QSignalSpy unloaded(rig.w.get(), &frmMain::Unloaded);

    QVERIFY(rig.w->close());
    QCOMPARE(unloaded.count(), 1);
    QVERIFY(!rig.w->ServerRunning);
    QVERIFY(!rig.w->traMain);
    QVERIFY(WaitFor([&] { return c.socket.state() == QAbstractSocket::UnconnectedState; }));
    QCOMPARE(rig.ReadSettings(),
             QByteArray("StartOnLoad=0\r\nMinimizeOnLoad=0\r\nLogIPs=1\r\nport=0\r\nDaylightSavings=2\r\n"));
    QFile entry(rig.AutostartFolder() + QStringLiteral("/tallix-server.desktop"));
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    const QString execLine = text.section(QStringLiteral("\nExec="), 1).section(QLatin1Char('\n'), 0, 0);
    QCOMPARE(ParseDesktopExec(UnescapeDesktopString(execLine)).value(0), QCoreApplication::applicationFilePath());
    // A second close changes nothing more.
    rig.w->close();
    QCOMPARE(unloaded.count(), 1);
}

void TestMainLifecycle::unloadWithUncheckedBoxDeletesEntry()
{
    MainWindowRig rig;
    rig.w->Form_Load();
    rig.w->chkLoadOnStartUp->setValue(1);
    rig.w->close();
    QVERIFY(QFile::exists(rig.AutostartFolder() + QStringLiteral("/tallix-server.desktop")));

    MainWindowRig again;
    QDir().mkpath(again.AutostartFolder());
    QFile::copy(rig.AutostartFolder() + QStringLiteral("/tallix-server.desktop"),
                again.AutostartFolder() + QStringLiteral("/tallix-server.desktop"));
    again.w->Form_Load();
    QCOMPARE(again.w->chkLoadOnStartUp->Value(), 1); // found at load
    again.w->chkLoadOnStartUp->setValue(0);
    again.w->close();
    QVERIFY(!QFile::exists(again.AutostartFolder() + QStringLiteral("/tallix-server.desktop")));
}

void TestMainLifecycle::unloadInUnwritableFolderStillUpdatesEntry()
{
    MainWindowRig rig;
    rig.w->Form_Load();
    rig.w->chkLoadOnStartUp->setValue(1);
    // Server.ini cannot be written where a folder of that name stands.
    QVERIFY(QDir().mkpath(rig.ProgramFolder() + QStringLiteral("Server.ini")));
    QVERIFY(rig.w->close());
    QVERIFY(!rig.w->traMain);
    QVERIFY(QFileInfo(rig.ProgramFolder() + QStringLiteral("Server.ini")).isDir());
    QVERIFY(QFile::exists(rig.AutostartFolder() + QStringLiteral("/tallix-server.desktop")));
}

void TestMainLifecycle::minimiseHidesAndDoubleClickRestores()
{
    MainWindowRig rig;
    rig.w->Form_Load();
    rig.w->ShowAfterLoad();
    QVERIFY(rig.w->isVisible());
    rig.w->setWindowState(Qt::WindowMinimized);
    QVERIFY(!rig.w->isVisible());
    emit rig.w->traMain->MouseDblClick(1);
    QVERIFY(rig.w->isVisible());
    QVERIFY(!(rig.w->windowState() & Qt::WindowMinimized));
    // Already shown: stays shown.
    emit rig.w->traMain->MouseDblClick(1);
    QVERIFY(rig.w->isVisible());
}

void TestMainLifecycle::rightClickTogglesRightDoubleClickUnloads()
{
    MainWindowRig rig;
    rig.WriteSettings("port=0\r\n");
    rig.w->Form_Load();
    rig.w->ShowAfterLoad();
    emit rig.w->traMain->MouseDown(2);
    QVERIFY(!rig.w->ServerRunning);
    emit rig.w->traMain->MouseUp(2);
    QVERIFY(rig.w->ServerRunning);
    emit rig.w->traMain->MouseUp(2);
    QVERIFY(!rig.w->ServerRunning);

    // A right double-click: the first release toggles, the double-click unloads.
    TrayIcon *icon = rig.w->traMain;
    emit icon->MouseDown(2);
    emit icon->MouseUp(2);
    QVERIFY(rig.w->ServerRunning);
    emit icon->MouseDblClick(2);
    QVERIFY(rig.w->IsUnloaded());
    QVERIFY(!rig.w->ServerRunning);
    QVERIFY(!rig.w->isVisible());
    QVERIFY(rig.ReadSettings().startsWith("StartOnLoad=0\r\n"));
}

void TestMainLifecycle::otherGesturesDoNothing()
{
    MainWindowRig rig;
    rig.WriteSettings("port=0\r\n");
    rig.w->Form_Load();
    rig.w->ShowAfterLoad();
    TrayIcon *icon = rig.w->traMain;
    emit icon->MouseDown(1);
    emit icon->MouseUp(1);
    emit icon->MouseDown(2);
    emit icon->MouseUp(3);
    emit icon->MouseDblClick(3);
    QVERIFY(!rig.w->ServerRunning);
    QVERIFY(!rig.w->IsUnloaded());
    QVERIFY(rig.w->isVisible());
}

void TestMainLifecycle::helpButtonOpensOneWindowThatOutlivesTheMain()
{
    MainWindowRig rig;
    QFile readme(rig.ProgramFolder() + QStringLiteral("Readme.txt"));
    QVERIFY(readme.open(QIODevice::WriteOnly));
    readme.write("Line one\r\nLine two\r\n");
    readme.close();
    rig.w->Form_Load();
    rig.w->ShowAfterLoad();
    rig.w->butHelp->click();
    QVERIFY(rig.w->HelpWindowOpen());
    frmHelp *help = rig.w->HelpWindow;
    auto *text = help->findChild<QPlainTextEdit *>(QStringLiteral("txtHelpFile"));
    QVERIFY(text && text->toPlainText().contains(QStringLiteral("Line two")));
    QVERIFY(help->screen()->availableGeometry().contains(help->frameGeometry())); // 800x600 offscreen
    rig.w->butHelp->click();
    QCOMPARE(rig.w->HelpWindow.data(), help);
    int helpWindows = 0;
    for (QWidget *top : QApplication::topLevelWidgets())
        helpWindows += qobject_cast<frmHelp *>(top) != nullptr;
    QCOMPARE(helpWindows, 1);

    rig.w->close();
    QVERIFY(rig.w->IsUnloaded());
    QVERIFY(help->isVisible());
    help->close();
    QVERIFY(!rig.w->HelpWindowOpen());
}

QTEST_MAIN(TestMainLifecycle)
#include "test_main_lifecycle.moc"
