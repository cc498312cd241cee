#pragma once
#include "StartupEntryStore.h"
#include "CheckBox.h"
#include "ConnectionService.h"
#include "DateText.h"
#include "FileLocations.h"
#include "LocalClock.h"
#include "ServiceClock.h"
#include "SettingsFile.h"
#include "TimeZone.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class TrayIcon;
class frmHelp;

// The main window: the operator's options, the port, start and stop, the two clocks and
// the connection statistics. The controls are the live state of the program: options
// are read from their boxes at the moment of use.
class frmMain : public QWidget
{
    Q_OBJECT
public:
    // What the window needs from its surroundings; tests replace any of it.
    struct Environment
    {
        const TimeZone *zone = nullptr;                  // the system's zone when null
        const LocalClock *clock = nullptr;               // the system's clock when null
        std::optional<FileLocations> files;              // this copy's when empty
        std::unique_ptr<StartupEntryStore> startupStore; // the system's when null
        ClockTrust::Reader clockReader;                  // the system's when empty
    };

    explicit frmMain(QWidget *parent = nullptr);
    explicit frmMain(Environment env, QWidget *parent = nullptr);
    ~frmMain() override;

    // Brings the program up: tray icon, settings, start-up entry, automatic start.
    void Form_Load();
    // Shows the window after loading, unless loading minimised (and so hid) it.
    void ShowAfterLoad();
    // Who asked for the unload: the operator (the close box, the tray), or the system (a
    // signal, the end of the session), which nobody may be watching.
    enum class UnloadCause { Operator, System };
    // Takes the program down; runs once, whoever asks first.
    void Form_Unload(UnloadCause cause = UnloadCause::Operator);
    bool IsUnloaded() const { return unloaded_; }
    bool HelpWindowOpen() const;

    void StartServer();
    void StopServer();
    // The server the window drives; tests reach its sockets and counts here.
    ConnectionService &Server() { return *server_; }

    DateValue LastDisplayedTime() const { return clock_.Ticker().LastDisplayedTime(); }

signals:
    // The main window has unloaded; the program ends once no window of it is open.
    void Unloaded();

public slots:
    void tmrConstant_Timer();
    void butStartStop_Click();
    void butHelp_Click();
    void traMain_MouseUp(int Button);
    void traMain_MouseDblClick(int Button);

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // The controls, each with its name as object name (tests find them by it).
    CheckBox *chkLoadOnStartUp;
    CheckBox *chkStartOnLoad;
    CheckBox *chkMinimizeOnLoad;
    QLabel *imgIdleIcon;
    CheckBox *chkLog;
    QLabel *lblPort;
    QLineEdit *txtPort;
    QPushButton *butStartStop;
    CheckBox *chkDaylightSavings;
    QLabel *lblUTCTime;
    QLineEdit *txtUTCTime;
    QLabel *lblYourTime;
    QLineEdit *txtYourTime;
    QLabel *lblStartStopTime;
    QLineEdit *txtStartStopTime;
    QLabel *lblTotalConnections;
    QLabel *lblConnections1;
    QLineEdit *txtConnections1;
    QLabel *lblConnections2;
    QLineEdit *txtConnections2;
    QLabel *lblMaxSim;
    QLabel *lblMaxSim1;
    QLineEdit *txtMaxSim1;
    QLabel *lblMaxSim2;
    QLineEdit *txtMaxSim2;
    QPushButton *butHelp;
    QTimer *tmrConstant;

    ConnectionService *server_ = nullptr;
    bool ServerRunning = false;
    TrayIcon *traMain = nullptr;
    QPointer<frmHelp> HelpWindow;

    static const QString ActiveTooltip; // followed by the start or stop time
    static const QString IdleTooltip;

    void Form_Resize();
    void HideOnceHosted();
    QString NowText() const;
    void SetTrayLook(const QIcon &icon, const QString &tooltipPrefix);
    void SetStatisticsEnabled(bool enabled, bool withStartStopTime);
    void ShowCounters();
    Settings SettingsInControls() const;
    // What the reading found, for the start-up rule of the daylight box.
    SettingsReading ReadSettingsIntoControls();
    bool WriteSettingsFromControls(QString &why);
    // What went wrong behind the operator's back: on standard error, and to the desktop
    // when someone may be watching (not for a system's unload).
    void Report(const QString &text, bool operatorWatching) const;
    const FileLocations &Files() const { return *env_.files; }
    void CreateControls();
    void ApplyColours();
    void SetTabOrder();
    void ScheduleNextTick();
    void FollowClockTrust(const ServiceClock::Tick &tick);
    void ShowClockTrust(bool changed);

    Environment env_;
    const DateText texts_;
    const TimeZone &zone_;
    const LocalClock &localClock_;
    ServiceClock clock_;
    bool unloaded_ = false;
    QTimer *counterDisplay_;
    QTimer *trayWatch_; // runs only while the window is minimised and no tray holds the icon
};
