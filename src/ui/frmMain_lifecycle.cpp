// Load and unload of the main window, the tray gestures and the help button.
#include "frmMain.h"

#include "DesktopNotice.h"
#include "Pictures.h"
#include "ProgramFolder.h"
#include "SettingsFile.h"
#include "TrayIcon.h"
#include "frmHelp.h"

#include <QCloseEvent>
#include <QDir>
#include <cstdio>
#include <exception>

namespace {

// Each step of the unload carries on whatever the one before it did; what stopped a step
// is still told.
template <typename Step>
void Try(const char *what, Step step)
{
    try {
        step();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "tallix-server: %s at unload failed: %s\n", what, e.what());
    }
}

} // namespace

Settings frmMain::SettingsInControls() const
{
    Settings s;
    s.StartOnLoad = chkStartOnLoad->Value();
    s.MinimizeOnLoad = chkMinimizeOnLoad->Value();
    s.LogIPs = chkLog->Value();
    s.Port = txtPort->text();
    s.DaylightSavings = chkDaylightSavings->Value();
    return s;
}

SettingsReading frmMain::ReadSettingsIntoControls()
{
    // A setting the file does not hold keeps the control's value.
    Settings s = SettingsInControls();
    const SettingsReading reading = LoadSettings(Files().SettingsFile(), s);
    chkStartOnLoad->setValue(s.StartOnLoad);
    chkMinimizeOnLoad->setValue(s.MinimizeOnLoad);
    chkLog->setValue(s.LogIPs);
    txtPort->setText(s.Port);
    chkDaylightSavings->setValue(s.DaylightSavings);
    return reading;
}

bool frmMain::WriteSettingsFromControls(QString &why)
{
    // An installed copy's folder in the user's profile comes with the first save.
    QDir().mkpath(Files().settingsFolder);
    return SaveSettings(Files().SettingsFile(), SettingsInControls(), &why);
}

void frmMain::Form_Load()
{
    txtStartStopTime->setText(NowText());

    traMain = new TrayIcon(this);
    connect(traMain, &TrayIcon::MouseUp, this, &frmMain::traMain_MouseUp);
    connect(traMain, &TrayIcon::MouseDblClick, this, &frmMain::traMain_MouseDblClick);
    traMain->setOwnerForm(this);
    traMain->setIcon(Pictures::IdleIcon());
    traMain->setTooltip(IdleTooltip + txtStartStopTime->text());
    traMain->setToggleCaption(butStartStop->text());
    traMain->Add();
    ShowClockTrust(true);

    const SettingsReading reading = ReadSettingsIntoControls();
    chkDaylightSavings->setValue(
        ClockTick::DaylightAtStart(zone_, chkDaylightSavings->Value(), reading.DaylightSavedAt));
    if (chkMinimizeOnLoad->Value() == 1)
        setWindowState(windowState() | Qt::WindowMinimized);
    chkLoadOnStartUp->setValue(LoadStartupEntry(*env_.startupStore));
    if (chkStartOnLoad->Value() == 1)
        StartServer();
}

void frmMain::ShowAfterLoad()
{
    // A window minimised at load is hidden in the tray from the start; with no tray to come
    // back from, it waits on the taskbar.
    if (!(windowState() & Qt::WindowMinimized))
        show();
    else if (!traMain || !traMain->Hosted()) {
        showMinimized();
        Form_Resize();
    }
}

void frmMain::Form_Unload(UnloadCause cause)
{
    if (unloaded_)
        return;
    unloaded_ = true;
    Try("stopping the server", [&] { StopServer(); });
    Try("removing the tray icon", [&] {
        if (traMain) {
            traMain->Remove();
            traMain->deleteLater(); // it may be the sender of the gesture that unloads us
            traMain = nullptr;
        }
    });
    Try("saving the settings", [&] {
        if (QString why; !WriteSettingsFromControls(why))
            Report(QStringLiteral("The settings could not be saved to %1 (%2); this session's choices are lost.")
                       .arg(QDir::toNativeSeparators(Files().SettingsFile()), why),
                   cause == UnloadCause::Operator);
    });
    Try("saving the launch at start-up", [&] {
        if (QString why; !SaveStartupEntry(*env_.startupStore, chkLoadOnStartUp->Value(), ExecutablePath(), &why))
            Report(QStringLiteral("The launch at start-up could not be %1 (%2).")
                       .arg(chkLoadOnStartUp->Value() == 1 ? QStringLiteral("saved") : QStringLiteral("removed"), why),
                   cause == UnloadCause::Operator);
    });
    tmrConstant->stop();
    trayWatch_->stop();
    hide();
    emit Unloaded();
}

void frmMain::Report(const QString &text, bool operatorWatching) const
{
    std::fprintf(stderr, "tallix-server: %s\n", qPrintable(text));
    // A notice that closes itself and holds nothing up; a session that is ending, or a
    // signal, may have nobody left to read it, and the line above is there in any case.
    if (operatorWatching)
        ShowDesktopNotice(windowTitle(), text);
}

bool frmMain::HelpWindowOpen() const { return HelpWindow && HelpWindow->isVisible(); }

void frmMain::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void frmMain::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void frmMain::Form_Resize()
{
    // A minimised window leaves the screen and the taskbar; the tray icon brings it back. With
    // no tray showing the icon it stays an ordinary minimised window until a tray takes the
    // icon (a panel that starts after the program, at log-in).
    if (!(windowState() & Qt::WindowMinimized) || !traMain)
        return;
    if (traMain->Hosted())
        hide();
    else
        trayWatch_->start();
}

void frmMain::HideOnceHosted()
{
    if (!traMain || !isVisible() || !(windowState() & Qt::WindowMinimized))
        trayWatch_->stop();
    else if (traMain->Hosted()) {
        trayWatch_->stop();
        hide();
    }
}

void frmMain::traMain_MouseDblClick(int Button)
{
    if (Button == 1) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        show();
        raise();
        activateWindow();
    } else if (Button == 2) {
        close();
    }
}

void frmMain::traMain_MouseUp(int Button)
{
    if (Button == 2)
        butStartStop_Click();
}

void frmMain::butHelp_Click()
{
    // No parent: the help window outlives the main window.
    if (!HelpWindow)
        HelpWindow = new frmHelp(Files().helpFile);
    if (!HelpWindow->isVisible())
        HelpWindow->PlaceBeside(*this);
    HelpWindow->show();
    HelpWindow->raise();
    HelpWindow->activateWindow();
}
