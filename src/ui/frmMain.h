#pragma once
#include "AutostartEntry.h"
#include "CheckBox.h"
#include "ClockTick.h"
#include "ConnectionCounters.h"
#include "ConnectionLog.h"
#include "DateText.h"
#include "LocalClock.h"
#include "SettingsFile.h"
#include "ReplyStamper.h"
#include "SlotTable.h"
#include "SocketControl.h"
#include "TimeZone.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

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
        const TimeZone *zone = nullptr;          // the system's zone when null
        const LocalClock *clock = nullptr;       // the system's clock when null
        std::function<QString()> programFolder;  // ProgramFolder when empty
        std::unique_ptr<StartupEntryStore> startupStore; // the system's when null
    };

    explicit frmMain(QWidget *parent = nullptr);
    explicit frmMain(Environment env, QWidget *parent = nullptr);
    ~frmMain() override;

    // Brings the program up: tray icon, settings, start-up entry, automatic start.
    void Form_Load();
    // Shows the window after loading, unless loading minimised (and so hid) it.
    void ShowAfterLoad();
    // Takes the program down; runs once, whoever asks first.
    void Form_Unload();
    bool IsUnloaded() const { return unloaded_; }
    bool HelpWindowOpen() const;

    void StartServer();
    void StopServer();

    // Controls, named as the operator's documentation names them.
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

    // The server's state.
    SocketControl *socServer;
    SlotTable Slots;
    ConnectionCounters Counters;
    bool ServerRunning = false;
    TrayIcon *traMain = nullptr;
    QPointer<frmHelp> HelpWindow;

    DateValue LastDisplayedTime() const { return clock_.LastDisplayedTime(); }

signals:
    // The main window has unloaded; the program ends once no window of it is open.
    void Unloaded();

public slots:
    void tmrConstant_Timer();
    void butStartStop_Click();
    void butHelp_Click();
    void socServer_ConnectionRequest(int Index, qintptr requestID);
    void socServer_DataArrival(int Index, qint64 bytesTotal);
    void socServer_Close(int Index);
    void traMain_MouseUp(int Button);
    void traMain_MouseDblClick(int Button);

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Resize();
    QString NowText() const;
    void SetTrayLook(const QIcon &icon, const QString &tooltipPrefix);
    void SetStatisticsEnabled(bool enabled, bool withStartStopTime);
    void ShowCounters();
    Settings SettingsInControls() const;
    void ReadSettingsIntoControls();
    void WriteSettingsFromControls();
    QString Folder() const;
    void CreateControls();
    void ApplyColours();
    void SetTabOrder();
    void ScheduleNextTick();

    Environment env_;
    const DateText texts_;
    const TimeZone &zone_;
    const LocalClock &localClock_;
    ClockTick clock_;
    ReplyStamper stamper_;
    ConnectionLog log_;
    bool unloaded_ = false;
    QTimer *counterDisplay_;
};
