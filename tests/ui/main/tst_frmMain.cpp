// The main window driving a real server on loopback: what the operator sees of start,
// stop, the counters and a failed start, and what the unload leaves behind.
#include "CheckBox.h"
#include "FakeTime.h"
#include "Loopback.h"
#include "XdgAutostartStore.h"
#include "frmHelp.h"
#include "frmMain.h"

#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Rig
{
    QTemporaryDir folder, config;
    std::unique_ptr<frmMain> w;

    explicit Rig(const TimeZone *zone = nullptr)
    {
        frmMain::Environment env;
        env.zone = zone;
        env.files = FileLocations::InFolder(folder.path() + u'/');
        env.startupStore = std::make_unique<XdgAutostartStore>(config.filePath(QStringLiteral("autostart")));
        w = std::make_unique<frmMain>(std::move(env));
    }
    template <typename T = QLineEdit>
    T *Find(const char *name)
    {
        return w->findChild<T *>(QLatin1String(name));
    }
    QString Text(const char *name) { return Find(name)->text(); }
    QString Counters() { return QStringList{Text("txtConnections1"), Text("txtConnections2"), Text("txtMaxSim1"), Text("txtMaxSim2")}.join(u' '); }
    // Clicks start or stop; a message box that opens is read and closed. The click returns
    // once its handler has, so a box has come and gone by then.
    QString Click()
    {
        QString message;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            for (QWidget *top : QApplication::topLevelWidgets())
                if (auto *box = qobject_cast<QMessageBox *>(top); box && box->isVisible()) {
                    message = box->windowTitle() + u'|' + box->text();
                    box->accept();
                }
        });
        closer.start(10);
        QTest::mouseClick(Find<QPushButton>("butStartStop"), Qt::LeftButton);
        return message;
    }
};

} // namespace

class tst_frmMain : public QObject
{
    Q_OBJECT
private slots:
    void failedStartThenStartStopAndCounters();
    void helpWindowOnScreenAndUnload();
};

void tst_frmMain::failedStartThenStartStopAndCounters()
{
    // On a forged zone record whose daylight offset overflows: the window ticks and serves
    // on standard time, as the window-less mode does (both run ServiceClock and TimeReply).
    FakeTime forged(MakeDateValue(2026, 12, 5, 22, 2, 52), {std::numeric_limits<qint32>::min(), -60, true});
    Rig r(&forged.zone);
    r.Find<CheckBox>("chkDaylightSavings")->setValue(1);
    r.w->tmrConstant_Timer();
    // A port of 0: the message, and the server stays idle. (A port another program holds
    // fails the same way: tst_Connections, and tst_Program for the real window.)
    r.Find("txtPort")->setText(QStringLiteral("0"));
    QCOMPARE(r.Click(), QStringLiteral("Error|Invalid TCP port number or port in use."));
    QCOMPARE(r.Find<QPushButton>("butStartStop")->text(), QStringLiteral("&Start Server"));
    QVERIFY(r.Find("txtPort")->isEnabled() && !r.Find("txtConnections2")->isEnabled());
    QCOMPARE(r.Find<QLabel>("lblStartStopTime")->text(), QStringLiteral("Server stopped at:"));
    const quint16 port = FreeFixedPort();
    r.Find("txtPort")->setText(QString::number(port) + QStringLiteral("abc"));
    QCOMPARE(r.Click(), QString());
    QCOMPARE(r.Find<QPushButton>("butStartStop")->text(), QStringLiteral("&Stop Server"));
    QVERIFY(!r.Find("txtPort")->isEnabled() && r.Find("txtConnections2")->isEnabled());
    {
        PumpedClient a, b, c;
        QVERIFY(a.Connect(port) && b.Connect(port) && c.Connect(port, "::1"));
        QCOMPARE(c.Ask("time"), "time:" + TimeReply::FormatStamp(TimeZone::AddBias(forged.clock.now, forged.source.record), QLocale::c()));
        QTRY_COMPARE(r.Counters(), QStringLiteral("3 3 3 3"));
    }
    PumpedClient d;
    QVERIFY(d.Connect(port));
    QTRY_COMPARE(r.Counters(), QStringLiteral("4 4 3 3")); // the peak is the slot count

    // A stop keeps the counts, greyed; the next start begins the since-start pair again.
    QCOMPARE(r.Click(), QString());
    QVERIFY(d.WaitForEnd());
    QCOMPARE(r.Text("txtConnections1"), QStringLiteral("4"));
    QVERIFY(!r.Find("txtConnections1")->isEnabled() && r.Find("txtPort")->isEnabled());
    QCOMPARE(r.Click(), QString());
    QCOMPARE(r.Counters(), QStringLiteral("4 0 3 0"));
}

void tst_frmMain::helpWindowOnScreenAndUnload()
{
    Rig r;
    r.w->Form_Load();
    r.w->show();
    // The help window, larger than the offscreen screen's 800 x 800 with its frame, opens inside it.
    QTest::mouseClick(r.Find<QPushButton>("butHelp"), Qt::LeftButton);
    frmHelp *help = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets())
        help = help ? help : qobject_cast<frmHelp *>(top);
    QVERIFY(help && help->isVisible());
    QVERIFY(help->screen()->availableGeometry().contains(help->frameGeometry()));
    r.w->close(); // what the unload leaves (Server.ini, the start-up entry): the package's checks
    QVERIFY(r.w->IsUnloaded());
}

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
