// Runs under tests/tools/with-xvfb-tray.sh: a private Xvfb with trayer as the system tray.
#include "TrayIcon.h"

#include <QtTest>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QStyleHints>
#include <QToolTip>

namespace {

QIcon TestIcon(const QColor &color)
{
    // A filled square with a dark frame, drawn the way the real pictures will be.
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QPen(Qt::black, 2));
    painter.setBrush(color);
    painter.drawRect(QRect(1, 1, 30, 30));
    painter.end();
    return QIcon(pixmap);
}

struct ToolResult
{
    int exitCode = -1;
    QString out;
};

// Runs an X tool while this program's event loop keeps turning, so that the icon sees the
// events the tool causes as they happen.
ToolResult Run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    ToolResult result;
    if (!process.waitForStarted(5000))
        return result;
    QDeadlineTimer deadline(10000);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        process.waitForFinished(10);
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(2000);
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    return result;
}

QString Hex(WId id) { return QStringLiteral("0x") + QString::number(id, 16); }

struct WindowInfo
{
    bool exists = false;
    bool viewable = false;
    bool onRoot = true;
    QRect geometry; // in root coordinates
};

WindowInfo Inspect(WId id)
{
    WindowInfo info;
    const ToolResult tree = Run("xwininfo", {"-tree", "-id", Hex(id)});
    const ToolResult stats = Run("xwininfo", {"-stats", "-id", Hex(id)});
    if (tree.exitCode != 0 || stats.exitCode != 0)
        return info;
    info.exists = true;
    const QRegularExpression parent("Parent window id: 0x[0-9a-f]+ ?(\\(the root window\\))?");
    const QRegularExpressionMatch p = parent.match(tree.out);
    info.onRoot = !p.hasMatch() || !p.captured(1).isEmpty();
    info.viewable = stats.out.contains("Map State: IsViewable");
    auto number = [&](const char *label) {
        const QRegularExpression re(QString(label) + ":\\s+(-?\\d+)");
        return re.match(stats.out).captured(1).toInt();
    };
    info.geometry = QRect(number("Absolute upper-left X"), number("Absolute upper-left Y"),
                          number("Width"), number("Height"));
    return info;
}

QColor PixelOnScreen(const QPoint &at)
{
    const ToolResult shot = Run("/usr/bin/import", {"-window", "root", "-crop",
                                                    QString("1x1+%1+%2").arg(at.x()).arg(at.y()),
                                                    "-depth", "8", "txt:-"});
    const QRegularExpressionMatch m = QRegularExpression("#([0-9A-Fa-f]{6})").match(shot.out);
    return m.hasMatch() ? QColor("#" + m.captured(1)) : QColor();
}

bool Near(const QColor &a, const QColor &b)
{
    return a.isValid() && qAbs(a.red() - b.red()) < 16 && qAbs(a.green() - b.green()) < 16
        && qAbs(a.blue() - b.blue()) < 16;
}

bool DockedAndShown(const TrayIcon &icon)
{
    if (icon.DockedWindowId() == 0)
        return false;
    const WindowInfo info = Inspect(icon.DockedWindowId());
    return info.exists && !info.onRoot && info.viewable && info.geometry.width() > 8;
}

QColor CentrePixel(const TrayIcon &icon)
{
    return PixelOnScreen(Inspect(icon.DockedWindowId()).geometry.center());
}

QString TrayerPidFile() { return qEnvironmentVariable("TALLIX_TRAYER_PID_FILE"); }

} // namespace

class tst_TrayXEmbed : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void docksAndShowsThePicture();
    void gestures_data();
    void gestures();
    void clicksWhileAHandlerRunsAreDropped();
    void modifyChangesThePicture();
    void removeUndocksAndAddDocksAgain();
    void docksAgainWhenTheTrayRestarts();
    void handlerMayRemoveAndDeleteTheIcon();
    void cleanupTestCase();

private:
    void Click(const QStringList &clickArgs);

    QWidget owner_;
    std::unique_ptr<TrayIcon> icon_;
    QStringList events_;
};

void tst_TrayXEmbed::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QString("xcb"));
    QVERIFY2(!TrayerPidFile().isEmpty(), "run me through tests/tools/with-xvfb-tray.sh");
    // Double-clicks are told apart by this interval; the gestures below rely on it.
    QVERIFY(QGuiApplication::styleHints()->mouseDoubleClickInterval() >= 200);

    icon_ = std::make_unique<TrayIcon>();
    QCOMPARE(icon_->BackendName(), QString("xembed"));
    connect(icon_.get(), &TrayIcon::MouseDown, this, [this](int b) { events_ << QString("Down %1").arg(b); });
    connect(icon_.get(), &TrayIcon::MouseUp, this, [this](int b) { events_ << QString("Up %1").arg(b); });
    connect(icon_.get(), &TrayIcon::MouseDblClick, this, [this](int b) { events_ << QString("DblClick %1").arg(b); });
}

void tst_TrayXEmbed::docksAndShowsThePicture()
{
    icon_->setOwnerForm(&owner_);
    icon_->setIcon(TestIcon(Qt::red));
    icon_->setTooltip(QString(70, u'T'));
    icon_->Add();
    QCOMPARE(icon_->State(), qint16(1));
    QTRY_VERIFY_WITH_TIMEOUT(DockedAndShown(*icon_), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(Near(CentrePixel(*icon_), Qt::red), 5000);

    // The hover tooltip is the shown text: the first 63 characters.
    QWidget *dock = QWidget::find(icon_->DockedWindowId());
    QVERIFY(dock);
    QCOMPARE(dock->toolTip(), QString(63, u'T'));

    // And it shows when the pointer rests on the icon.
    const QString window = QString::number(icon_->DockedWindowId());
    QCOMPARE(Run("xdotool", {"mousemove", "--window", window, "11", "15"}).exitCode, 0);
    QTRY_VERIFY_WITH_TIMEOUT(QToolTip::isVisible(), 5000);
    QCOMPARE(QToolTip::text(), QString(63, u'T'));
}

void tst_TrayXEmbed::Click(const QStringList &clickArgs)
{
    // Apart from the gesture before, so that no two gestures make a double-click.
    QTest::qWait(600);
    const QString window = QString::number(icon_->DockedWindowId());
    QCOMPARE(Run("xdotool", {"mousemove", "--window", window, "11", "15"}).exitCode, 0);
    QTest::qWait(100);
    QCOMPARE(Run("xdotool", QStringList{"click"} + clickArgs).exitCode, 0);
}

void tst_TrayXEmbed::gestures_data()
{
    QTest::addColumn<QStringList>("clickArgs");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("right click") << QStringList{"3"} << QStringList{"Down 2", "Up 2"};
    QTest::newRow("left click") << QStringList{"1"} << QStringList{"Down 1", "Up 1"};
    QTest::newRow("left double-click") << QStringList{"--repeat", "2", "--delay", "80", "1"}
                                       << QStringList{"Down 1", "Up 1", "DblClick 1", "Up 1"};
    QTest::newRow("right double-click") << QStringList{"--repeat", "2", "--delay", "80", "3"}
                                        << QStringList{"Down 2", "Up 2", "DblClick 2", "Up 2"};
    QTest::newRow("middle click") << QStringList{"2"} << QStringList{};
    QTest::newRow("two slow left clicks") << QStringList{"--repeat", "2", "--delay", "700", "1"}
                                          << QStringList{"Down 1", "Up 1", "Down 1", "Up 1"};
}

void tst_TrayXEmbed::gestures()
{
    QFETCH(QStringList, clickArgs);
    QFETCH(QStringList, expected);
    QVERIFY(DockedAndShown(*icon_));

    events_.clear();
    Click(clickArgs);
    if (expected.isEmpty()) {
        QTest::qWait(500);
        QCOMPARE(events_, expected);
        QCOMPARE(icon_->LastMessage(), 520); // seen, and passed over
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(events_.size(), expected.size(), 3000);
        QTest::qWait(300); // nothing more may follow
        QCOMPARE(events_, expected);
    }
}

void tst_TrayXEmbed::clicksWhileAHandlerRunsAreDropped()
{
    QVERIFY(DockedAndShown(*icon_));
    // A handler that keeps an event loop turning, as a modal message box does, while the
    // operator right-clicks again.
    bool nestedClickFinished = false;
    const QMetaObject::Connection busy = connect(icon_.get(), &TrayIcon::MouseUp, this, [&](int button) {
        if (button != 2 || nestedClickFinished)
            return;
        QTest::qWait(600);
        nestedClickFinished = Run("xdotool", {"click", "3"}).exitCode == 0;
        QTest::qWait(500);
    });
    events_.clear();
    Click({"3"});
    QTRY_VERIFY_WITH_TIMEOUT(nestedClickFinished, 5000);
    QTest::qWait(300);
    disconnect(busy);
    QCOMPARE(events_, (QStringList{"Down 2", "Up 2"}));
    QVERIFY(!icon_->InHandler());

    // Not queued either: the next click is handled normally.
    events_.clear();
    Click({"3"});
    QTRY_COMPARE_WITH_TIMEOUT(events_, (QStringList{"Down 2", "Up 2"}), 3000);
}

void tst_TrayXEmbed::modifyChangesThePicture()
{
    QVERIFY(Near(CentrePixel(*icon_), Qt::red));
    icon_->setIcon(TestIcon(Qt::blue));
    icon_->setTooltip("Tallix Server - Active");
    QTest::qWait(200);
    QVERIFY(Near(CentrePixel(*icon_), Qt::red)); // assigning alone shows nothing yet
    icon_->Modify();
    QCOMPARE(icon_->State(), qint16(2));
    QTRY_VERIFY_WITH_TIMEOUT(Near(CentrePixel(*icon_), Qt::blue), 5000);
    QCOMPARE(QWidget::find(icon_->DockedWindowId())->toolTip(), QString("Tallix Server - Active"));
}

void tst_TrayXEmbed::removeUndocksAndAddDocksAgain()
{
    const WId docked = icon_->DockedWindowId();
    const QPoint centre = Inspect(docked).geometry.center();
    icon_->Remove();
    QCOMPARE(icon_->State(), qint16(0));
    QCOMPARE(icon_->DockedWindowId(), WId(0));
    QTRY_VERIFY_WITH_TIMEOUT(!Inspect(docked).exists, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!Near(PixelOnScreen(centre), Qt::blue), 5000);

    icon_->Modify(); // a removed icon stays removed
    QTest::qWait(300);
    QCOMPARE(icon_->DockedWindowId(), WId(0));

    icon_->Add();
    QTRY_VERIFY_WITH_TIMEOUT(DockedAndShown(*icon_), 5000);
    QVERIFY(icon_->DockedWindowId() != docked);
    QTRY_VERIFY_WITH_TIMEOUT(Near(CentrePixel(*icon_), Qt::blue), 5000);
}

void tst_TrayXEmbed::docksAgainWhenTheTrayRestarts()
{
    QFile pidFile(TrayerPidFile());
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    const qint64 trayerPid = pidFile.readAll().trimmed().toLongLong();
    pidFile.close();
    QVERIFY(trayerPid > 0);

    const WId before = icon_->DockedWindowId();
    QCOMPARE(Run("kill", {QString::number(trayerPid)}).exitCode, 0);
    QTRY_VERIFY_WITH_TIMEOUT(icon_->DockedWindowId() == 0, 5000);
    // Neither floating on the screen nor still mapped somewhere.
    const WindowInfo orphan = Inspect(before);
    QVERIFY(!orphan.exists || !orphan.viewable);

    // An icon added while there is no tray waits for one.
    TrayIcon late;
    late.setOwnerForm(&owner_);
    late.setIcon(TestIcon(Qt::green));
    late.setTooltip("late");
    late.Add();
    QTest::qWait(300);
    QCOMPARE(late.DockedWindowId(), WId(0));

    qint64 newPid = 0;
    QVERIFY(QProcess::startDetached("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request",
                                               "--height", "32", "--SetDockType", "true",
                                               "--SetPartialStrut", "false", "--transparent", "false"},
                                    QString(), &newPid));
    QVERIFY(pidFile.open(QIODevice::WriteOnly | QIODevice::Truncate));
    pidFile.write(QByteArray::number(newPid));
    pidFile.close();

    QTRY_VERIFY_WITH_TIMEOUT(DockedAndShown(*icon_), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(DockedAndShown(late), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(Near(CentrePixel(*icon_), Qt::blue), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(Near(CentrePixel(late), Qt::green), 5000);

    events_.clear();
    Click({"3"});
    QTRY_COMPARE_WITH_TIMEOUT(events_, (QStringList{"Down 2", "Up 2"}), 3000);
}

void tst_TrayXEmbed::handlerMayRemoveAndDeleteTheIcon()
{
    // As the main window does on a right double-click: unload, which removes the icon and
    // releases it, all from inside the icon's own event.
    QPointer<TrayIcon> closing(new TrayIcon);
    closing->setOwnerForm(&owner_);
    closing->setIcon(TestIcon(Qt::yellow));
    closing->setTooltip("closing");
    closing->Add();
    QTRY_VERIFY_WITH_TIMEOUT(DockedAndShown(*closing), 5000);
    const WId window = closing->DockedWindowId();

    QStringList seen;
    connect(closing.data(), &TrayIcon::MouseDown, this, [&](int b) { seen << QString("Down %1").arg(b); });
    connect(closing.data(), &TrayIcon::MouseUp, this, [&](int b) { seen << QString("Up %1").arg(b); });
    connect(closing.data(), &TrayIcon::MouseDblClick, this, [&](int b) {
        seen << QString("DblClick %1").arg(b);
        closing->Remove();
        delete closing.data();
    });

    QTest::qWait(600);
    QCOMPARE(Run("xdotool", {"mousemove", "--window", QString::number(window), "11", "15"}).exitCode, 0);
    QTest::qWait(100);
    QCOMPARE(Run("xdotool", {"click", "--repeat", "2", "--delay", "80", "3"}).exitCode, 0);
    QTRY_VERIFY_WITH_TIMEOUT(closing.isNull(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(!Inspect(window).exists, 5000);
    QTest::qWait(300);
    // The last release comes after the icon has gone, so it reaches no one.
    QCOMPARE(seen, (QStringList{"Down 2", "Up 2", "DblClick 2"}));
    QVERIFY(DockedAndShown(*icon_)); // the other icon stays
}

void tst_TrayXEmbed::cleanupTestCase()
{
    if (icon_)
        icon_->Remove();
    icon_.reset();
}

QTEST_MAIN(tst_TrayXEmbed)
#include "tst_TrayXEmbed.moc"
