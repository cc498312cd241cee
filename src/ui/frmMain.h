#pragma once
#include "CheckBox.h"
#include "ClockTick.h"
#include "DateText.h"
#include "LocalClock.h"
#include "TimeZone.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

// The main window: the operator's options, the port, start and stop, the two clocks and
// the connection statistics. The controls are the live state of the program: options
// are read from their boxes at the moment of use.
class frmMain : public QWidget
{
    Q_OBJECT
public:
    // Seams for tests: the zone and the clock; both must outlive the window.
    explicit frmMain(QWidget *parent = nullptr);
    frmMain(const TimeZone &zone, const LocalClock &clock, QWidget *parent = nullptr);

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

    DateValue LastDisplayedTime() const { return clock_.LastDisplayedTime(); }

public slots:
    void tmrConstant_Timer();

private:
    void CreateControls();
    void ApplyColours();
    void SetTabOrder();
    void ScheduleNextTick();

    const DateText texts_;
    const TimeZone &zone_;
    const LocalClock &localClock_;
    ClockTick clock_;
};
