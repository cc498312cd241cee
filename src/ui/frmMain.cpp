#include "frmMain.h"

#include "FitCaption.h"
#include "frmHelp.h"
#include "StartupEntryStore.h"
#include "Pictures.h"
#include "Twips.h"

#include <QApplication>
#include <QFontDatabase>

namespace {

const TimeZone systemZone;
const SystemLocalClock systemClock;

// The window's own colours: black ground, text red 0, green 153, blue 255.
const QColor WindowBack(0, 0, 0);
const QColor WindowText(0, 153, 255);
const QColor DisabledText(110, 110, 110);

QFont WindowFont(bool bold = false)
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    f.setPointSizeF(8.25);
    f.setBold(bold);
    return f;
}

} // namespace

frmMain::frmMain(QWidget *parent) : frmMain(Environment(), parent) {}

frmMain::frmMain(Environment env, QWidget *parent)
    : QWidget(parent), env_(std::move(env)), zone_(env_.zone ? *env_.zone : systemZone),
      localClock_(env_.clock ? *env_.clock : systemClock),
      clock_(zone_, localClock_, texts_, env_.clockReader ? env_.clockReader : ReadSystemClock)
{
    if (!env_.files)
        env_.files = FileLocations::OfThisCopy();
    if (!env_.startupStore)
        env_.startupStore = MakeSystemStartupStore();

    setWindowTitle(QStringLiteral("Tallix Server"));
    setWindowIcon(Pictures::ProgramIcon());
    setFixedSize(TwipsToPixels(3795), TwipsToPixels(7350));
    setFont(WindowFont());
    CreateControls();
    ApplyColours();
    SetTabOrder();
    butStartStop->setFocus();

    tmrConstant = new QTimer(this);
    tmrConstant->setObjectName(QStringLiteral("tmrConstant"));
    tmrConstant->setSingleShot(true);
    tmrConstant->setTimerType(Qt::PreciseTimer);
    connect(tmrConstant, &QTimer::timeout, this, &frmMain::tmrConstant_Timer);
    tmrConstant_Timer();

    // The boxes are the options: the server reads them at every request.
    server_ = new ConnectionService(zone_, localClock_, texts_,
                                    {[this] { return chkDaylightSavings->Value(); }, [this] { return chkLog->Value(); },
                                     [this] { return Files().settingsFolder; }, [this] { return Files().dataFolder; },
                                     &clock_.Ticker()},
                                    this);
    clock_.Serve(*server_);
    // As the window-less mode says it, and as a failed save is reported: once each way.
    connect(server_, &ConnectionService::LogFailureChanged, this, [this](const QString &failure) {
        Report(ConnectionService::LogFailureText(Files().dataFolder, failure), true);
    });
    // Under a burst of connections the boxes are redrawn a few times a second, not at
    // every connection: drawing them cost more than serving the connection.
    counterDisplay_ = new QTimer(this);
    counterDisplay_->setSingleShot(true);
    counterDisplay_->setInterval(50);
    connect(counterDisplay_, &QTimer::timeout, this, &frmMain::ShowCounters);
    connect(server_, &ConnectionService::Counted, this, [this] {
        if (!counterDisplay_->isActive())
            counterDisplay_->start();
    });

    // Trays announce themselves in ways that differ by kind; a look each second while one is
    // awaited costs nothing otherwise.
    trayWatch_ = new QTimer(this);
    trayWatch_->setInterval(1000);
    connect(trayWatch_, &QTimer::timeout, this, &frmMain::HideOnceHosted);

    connect(butStartStop, &QPushButton::clicked, this, &frmMain::butStartStop_Click);
    connect(butHelp, &QPushButton::clicked, this, &frmMain::butHelp_Click);
}

frmMain::~frmMain() { delete HelpWindow.data(); }

QString frmMain::NowText() const { return texts_.Format(localClock_.Now()); }

void frmMain::CreateControls()
{
    auto check = [this](CheckBox *&box, const char *name, const QString &caption, int l, int t, int w, int h) {
        box = new CheckBox(caption, this);
        box->setObjectName(QLatin1String(name));
        PlaceInTwips(box, l, t, w, h);
    };
    auto label = [this](QLabel *&lbl, const char *name, const QString &caption, int l, int t, int w, int h,
                        Qt::Alignment align) {
        lbl = new QLabel(caption, this);
        lbl->setObjectName(QLatin1String(name));
        lbl->setAlignment(align | Qt::AlignVCenter);
        PlaceInTwips(lbl, l, t, w, h);
    };
    auto box = [this](QLineEdit *&txt, const char *name, const QString &text, int l, int t, int w, int h,
                      bool readOnly) {
        txt = new QLineEdit(text, this);
        txt->setObjectName(QLatin1String(name));
        txt->setReadOnly(readOnly);
        PlaceInTwips(txt, l, t, w, h);
    };
    auto button = [this](QPushButton *&but, const char *name, const QString &caption, int l, int t, int w, int h) {
        but = new QPushButton(caption, this);
        but->setObjectName(QLatin1String(name));
        PlaceInTwips(but, l, t, w, h);
    };
    const Qt::Alignment right = Qt::AlignRight;
    const Qt::Alignment centre = Qt::AlignHCenter;

    check(chkLoadOnStartUp, "chkLoadOnStartUp", QStringLiteral("Launch on &Windows start-up"), 420, 180, 2355, 195);
    check(chkStartOnLoad, "chkStartOnLoad", QStringLiteral("Start server on program &launch"), 420, 480, 2475, 195);
    check(chkMinimizeOnLoad, "chkMinimizeOnLoad", QStringLiteral("Mi&nimize program on launch"), 420, 780, 2295, 195);

    imgIdleIcon = new QLabel(this);
    imgIdleIcon->setObjectName(QStringLiteral("imgIdleIcon"));
    imgIdleIcon->setPixmap(Pictures::IdleIcon().pixmap(32, 32));
    imgIdleIcon->setAccessibleName(QStringLiteral("Idle picture"));
    PlaceInTwips(imgIdleIcon, 3240, 840, 480, 480);

    check(chkLog, "chkLog", QStringLiteral("L&og connection IPs"), 420, 1080, 1755, 195);
    label(lblPort, "lblPort", QStringLiteral("TCP &port:"), 1200, 1560, 735, 195, right);
    box(txtPort, "txtPort", QStringLiteral("1610"), 1980, 1500, 555, 285, false);
    lblPort->setBuddy(txtPort);
    button(butStartStop, "butStartStop", QStringLiteral("&Start Server"), 840, 1860, 2115, 495);
    check(chkDaylightSavings, "chkDaylightSavings", QStringLiteral("Da&ylight Savings Time"), 960, 2580, 1875, 195);
    label(lblUTCTime, "lblUTCTime", QStringLiteral("UTC time:"), 720, 2940, 735, 195, right);
    box(txtUTCTime, "txtUTCTime", QString(), 1500, 2880, 1815, 285, true);
    label(lblYourTime, "lblYourTime", QStringLiteral("Your time:"), 720, 3300, 735, 195, right);
    box(txtYourTime, "txtYourTime", QString(), 1500, 3240, 1815, 285, true);
    label(lblStartStopTime, "lblStartStopTime", QStringLiteral("Program started at:"), 60, 3660, 1395, 195, right);
    box(txtStartStopTime, "txtStartStopTime", QString(), 1500, 3600, 1815, 285, true);
    label(lblTotalConnections, "lblTotalConnections", QStringLiteral("Total number of connections:"), 60, 4080, 3675,
          195, centre);
    label(lblConnections1, "lblConnections1", QStringLiteral("since program launch:"), 540, 4500, 1575, 195, right);
    box(txtConnections1, "txtConnections1", QStringLiteral("0"), 2160, 4440, 975, 285, true);
    label(lblConnections2, "lblConnections2", QStringLiteral("since server start:"), 840, 4860, 1275, 195, right);
    box(txtConnections2, "txtConnections2", QStringLiteral("0"), 2160, 4800, 975, 285, true);
    label(lblMaxSim, "lblMaxSim", QStringLiteral("Maximum number of simultaneous connections:"), 60, 5280, 3675, 375,
          centre);
    lblMaxSim->setWordWrap(true);
    label(lblMaxSim1, "lblMaxSim1", QStringLiteral("since program launch:"), 780, 5880, 1575, 195, right);
    box(txtMaxSim1, "txtMaxSim1", QStringLiteral("0"), 2400, 5820, 555, 285, true);
    label(lblMaxSim2, "lblMaxSim2", QStringLiteral("since server start:"), 1080, 6240, 1275, 195, right);
    box(txtMaxSim2, "txtMaxSim2", QStringLiteral("0"), 2400, 6180, 555, 285, true);
    button(butHelp, "butHelp", QStringLiteral("&Help"), 1080, 6660, 1635, 495);

    lblTotalConnections->setFont(WindowFont(true));
    lblMaxSim->setFont(WindowFont(true));
    for (QWidget *w : findChildren<QWidget *>()) {
        if (qobject_cast<QLabel *>(w) || qobject_cast<QCheckBox *>(w))
            FitCaption(w);
    }
    for (QLineEdit *txt : findChildren<QLineEdit *>())
        txt->setTextMargins(0, 0, 0, 0);
    // Wide digits in every field, and an afternoon for a 12-hour clock.
    const QString widest = texts_.Format(MakeDateValue(2028, 12, 28, 20, 58, 58));
    for (QLineEdit *txt : {txtUTCTime, txtYourTime, txtStartStopTime})
        FitTextBox(txt, widest);

    // The statistics start greyed; the server enables them while it runs.
    SetStatisticsEnabled(false, false);

    // Every read-only box says what it shows to assistive tools.
    txtUTCTime->setAccessibleName(lblUTCTime->text());
    txtYourTime->setAccessibleName(lblYourTime->text());
    txtStartStopTime->setAccessibleName(QStringLiteral("Start or stop time"));
    txtConnections1->setAccessibleName(QStringLiteral("Connections since program launch"));
    txtConnections2->setAccessibleName(QStringLiteral("Connections since server start"));
    txtMaxSim1->setAccessibleName(QStringLiteral("Most simultaneous connections since program launch"));
    txtMaxSim2->setAccessibleName(QStringLiteral("Most simultaneous connections since server start"));
    txtPort->setAccessibleName(QStringLiteral("TCP port"));
}

void frmMain::ApplyColours()
{
    QPalette window = palette();
    window.setColor(QPalette::Window, WindowBack);
    window.setColor(QPalette::WindowText, WindowText);
    window.setColor(QPalette::Disabled, QPalette::WindowText, DisabledText);
    setPalette(window);
    setAutoFillBackground(true);

    // Text boxes and buttons keep the platform's colours.
    const QPalette platform = QApplication::palette();
    for (QLineEdit *txt : findChildren<QLineEdit *>())
        txt->setPalette(platform);
    for (QPushButton *but : findChildren<QPushButton *>())
        but->setPalette(platform);
}

void frmMain::SetTabOrder()
{
    const QList<QWidget *> order = {
        butStartStop,     chkDaylightSavings, txtUTCTime,        txtYourTime, txtStartStopTime,
        txtConnections1,  txtConnections2,    txtMaxSim1,        txtMaxSim2,  butHelp,
        chkLoadOnStartUp, chkStartOnLoad,     chkMinimizeOnLoad, chkLog,      txtPort};
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void frmMain::ScheduleNextTick() { tmrConstant->start(ClockTick::MsUntilNextTick()); }

void frmMain::tmrConstant_Timer()
{
    const ServiceClock::Tick r = clock_.Run(chkDaylightSavings->Value());
    txtYourTime->setText(r.YourTime);
    if (r.DaylightValue != chkDaylightSavings->Value())
        chkDaylightSavings->setValue(r.DaylightValue);
    txtUTCTime->setText(r.UTCTime);
    if (r.ZoneOverflowBegan)
        Report(QLatin1String(ClockTick::ZoneOverflowText), false);
    FollowClockTrust(r);
    ScheduleNextTick();
}
