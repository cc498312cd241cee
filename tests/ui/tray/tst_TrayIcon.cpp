#include "TrayIcon.h"

#include <QtTest>
#include <QPainter>
#include <QPixmap>

namespace {

QIcon SolidIcon(const QColor &color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

// Stands in for a notification area: records what the icon asks of it and lets the test
// send the shell's messages.
class RecordingBackend : public TrayBackend
{
public:
    explicit RecordingBackend(MessageSink sink, QStringList *calls) : sink(std::move(sink)), calls(calls) {}
    void Show(const QIcon &, const QString &tooltip) override { calls->append("Show " + tooltip); }
    void Update(const QIcon &, const QString &tooltip) override { calls->append("Update " + tooltip); }
    void Hide() override { calls->append("Hide"); }
    QString Name() const override { return QStringLiteral("recording"); }

    MessageSink sink;
    QStringList *calls;
};

} // namespace

class tst_TrayIcon : public QObject
{
    Q_OBJECT
private slots:
    void tooltip_data();
    void tooltip();
    void tooltipNeverSetReadsEmpty();
    void stateFollowsTheCalls();
    void needsOwnerAndIcon();
    void pictureTakesEffectAtAddOrModify();
    void headlessSessionShowsNothing();
    void messagesBecomeEvents_data();
    void messagesBecomeEvents();
    void clicksDuringAHandlerAreDropped();
    void handlerMayDeleteTheIcon();

private:
    TrayIcon *MakeRecorded(QStringList *calls, TrayBackend::MessageSink *sink = nullptr);
    QWidget owner_;
};

TrayIcon *tst_TrayIcon::MakeRecorded(QStringList *calls, TrayBackend::MessageSink *sink)
{
    auto *icon = new TrayIcon([calls, sink](TrayBackend::MessageSink s) {
        if (sink)
            *sink = s;
        return std::make_unique<RecordingBackend>(std::move(s), calls);
    });
    icon->setOwnerForm(&owner_);
    return icon;
}

void tst_TrayIcon::tooltip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    const QString sixtyThree(63, u'x');
    const QString seventy = QString(63, u'y') + QStringLiteral("1234567");
    const QString smiley = QString::fromUtf8("\xF0\x9F\x98\x80"); // two UTF-16 units
    QTest::newRow("abc") << "abc" << "abc";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("63 characters whole") << sixtyThree << sixtyThree;
    QTest::newRow("70 characters cut to 63") << seventy << QString(63, u'y');
    QTest::newRow("embedded NUL ends the shown text")
        << QStringLiteral("Idle") + QChar(u'\0') + QStringLiteral("hidden") << "Idle";
    QTest::newRow("cut never splits a character")
        << QString(62, u'z') + smiley + "tail" << QString(62, u'z');
    QTest::newRow("non-Latin text")
        << QString::fromUtf8("Tallix Server - Активен с 01.02.2026") << QString::fromUtf8("Tallix Server - Активен с 01.02.2026");
}

void tst_TrayIcon::tooltip()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);

    QStringList calls;
    std::unique_ptr<TrayIcon> icon(MakeRecorded(&calls));
    icon->setIcon(SolidIcon(Qt::red));
    icon->setTooltip(text);
    QCOMPARE(icon->Tooltip(), text); // the whole text reads back, shown or not
    icon->Add();
    QCOMPARE(icon->ShownTooltip(), shown);
    QCOMPARE(calls, QStringList{"Show " + shown});
    QVERIFY(icon->ShownTooltip().size() <= TrayIcon::MaxTooltipLength);
}

void tst_TrayIcon::tooltipNeverSetReadsEmpty()
{
    TrayIcon icon;
    QCOMPARE(icon.Tooltip(), QString());
}

void tst_TrayIcon::stateFollowsTheCalls()
{
    QStringList calls;
    std::unique_ptr<TrayIcon> icon(MakeRecorded(&calls));
    QCOMPARE(icon->State(), qint16(0));
    icon->setIcon(SolidIcon(Qt::red));
    icon->setTooltip("t");

    icon->Remove(); // never added: nothing to take away, but the state is set all the same
    QCOMPARE(icon->State(), qint16(0));
    icon->Modify();
    QCOMPARE(icon->State(), qint16(2));
    icon->Add();
    QCOMPARE(icon->State(), qint16(1));
    icon->Add();
    QCOMPARE(icon->State(), qint16(1));
    icon->Modify();
    icon->Modify();
    QCOMPARE(icon->State(), qint16(2));
    icon->Remove();
    QCOMPARE(icon->State(), qint16(0));
    QCOMPARE(calls, (QStringList{"Hide", "Update t", "Show t", "Show t", "Update t", "Update t", "Hide"}));
}

void tst_TrayIcon::needsOwnerAndIcon()
{
    QStringList calls;
    std::unique_ptr<TrayIcon> icon(MakeRecorded(&calls));
    icon->setTooltip("t");
    icon->Add(); // no picture yet
    QCOMPARE(icon->State(), qint16(0));

    icon->setIcon(SolidIcon(Qt::red));
    icon->setOwnerForm(nullptr);
    icon->Modify();
    QCOMPARE(icon->State(), qint16(0));
    QVERIFY(calls.isEmpty());

    {
        QWidget shortLived;
        icon->setOwnerForm(&shortLived);
        QCOMPARE(icon->OwnerForm(), &shortLived);
    }
    QCOMPARE(icon->OwnerForm(), nullptr); // a deleted owner is not kept dangling
    icon->Add();
    QCOMPARE(icon->State(), qint16(0));
    QVERIFY(calls.isEmpty());
}

void tst_TrayIcon::pictureTakesEffectAtAddOrModify()
{
    QStringList calls;
    std::unique_ptr<TrayIcon> icon(MakeRecorded(&calls));
    const QIcon red = SolidIcon(Qt::red);
    icon->setIcon(red);
    icon->setTooltip("Idle");
    icon->Add();
    icon->setIcon(SolidIcon(Qt::blue));
    icon->setTooltip("Active");
    QCOMPARE(calls, QStringList{"Show Idle"});
    QCOMPARE(icon->ShownTooltip(), QString("Idle"));
    icon->Modify();
    QCOMPARE(calls, (QStringList{"Show Idle", "Update Active"}));
    QCOMPARE(icon->ShownTooltip(), QString("Active"));
    icon->setIcon(red);
    QCOMPARE(icon->Icon().cacheKey(), red.cacheKey()); // the same picture, not a copy
}

void tst_TrayIcon::headlessSessionShowsNothing()
{
    QCOMPARE(QGuiApplication::platformName(), QString("offscreen"));
    QWidget owner;
    TrayIcon icon;
    QCOMPARE(icon.BackendName(), QString("none"));
    icon.setOwnerForm(&owner);
    icon.setIcon(SolidIcon(Qt::green));
    icon.setTooltip("Tallix Server - Idle since 01/02/2026 10:00:00");
    icon.Add();
    QCOMPARE(icon.State(), qint16(1));
    QCOMPARE(icon.DockedWindowId(), WId(0));
    icon.Modify();
    QCOMPARE(icon.State(), qint16(2));
    icon.Remove();
    QCOMPARE(icon.State(), qint16(0));
    // No window of any kind appeared for the icon.
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
}

void tst_TrayIcon::messagesBecomeEvents_data()
{
    QTest::addColumn<QList<qint32>>("messages");
    QTest::addColumn<QStringList>("events");

    QTest::newRow("left double-click")
        << QList<qint32>{513, 514, 515, 514} << QStringList{"Down 1", "Up 1", "DblClick 1", "Up 1"};
    QTest::newRow("right click") << QList<qint32>{516, 517} << QStringList{"Down 2", "Up 2"};
    QTest::newRow("right double-click")
        << QList<qint32>{516, 517, 518, 517} << QStringList{"Down 2", "Up 2", "DblClick 2", "Up 2"};
    QTest::newRow("middle button and moves") << QList<qint32>{512, 519, 520, 521} << QStringList{};
}

void tst_TrayIcon::messagesBecomeEvents()
{
    QFETCH(QList<qint32>, messages);
    QFETCH(QStringList, events);

    QStringList calls;
    TrayBackend::MessageSink sink;
    std::unique_ptr<TrayIcon> icon(MakeRecorded(&calls, &sink));
    QStringList seen;
    connect(icon.get(), &TrayIcon::MouseDown, this, [&](int b) { seen << QString("Down %1").arg(b); });
    connect(icon.get(), &TrayIcon::MouseUp, this, [&](int b) { seen << QString("Up %1").arg(b); });
    connect(icon.get(), &TrayIcon::MouseDblClick, this, [&](int b) { seen << QString("DblClick %1").arg(b); });

    for (qint32 m : messages)
        sink(m);
    QCOMPARE(seen, events);
    QCOMPARE(icon->LastMessage(), messages.last());
}

void tst_TrayIcon::clicksDuringAHandlerAreDropped()
{
    QStringList calls;
    TrayBackend::MessageSink sink;
    std::unique_ptr<TrayIcon> icon(MakeRecorded(&calls, &sink));
    QStringList seen;
    connect(icon.get(), &TrayIcon::MouseDown, this, [&](int b) { seen << QString("Down %1").arg(b); });
    connect(icon.get(), &TrayIcon::MouseUp, this, [&](int b) {
        seen << QString("Up %1").arg(b);
        QVERIFY(icon->InHandler());
        // What a modal box's event loop would deliver meanwhile.
        sink(TrayMessage::RightDown);
        sink(TrayMessage::RightUp);
    });

    sink(TrayMessage::RightUp);
    QCOMPARE(seen, QStringList{"Up 2"});
    QVERIFY(!icon->InHandler());
    QCOMPARE(icon->LastMessage(), TrayMessage::RightUp);
    sink(TrayMessage::LeftDown);
    QCOMPARE(seen, (QStringList{"Up 2", "Down 1"}));
}

void tst_TrayIcon::handlerMayDeleteTheIcon()
{
    QStringList calls;
    TrayBackend::MessageSink sink;
    QPointer<TrayIcon> icon(MakeRecorded(&calls, &sink));
    int raised = 0;
    // Like the right double-click that unloads the main window and releases the icon.
    connect(icon.data(), &TrayIcon::MouseDblClick, this, [&](int) {
        ++raised;
        icon->Remove();
        delete icon.data();
    });
    const TrayBackend::MessageSink keep = sink; // the backend's copy dies with the icon
    keep(TrayMessage::RightDoubleClick);
    QVERIFY(icon.isNull());
    keep(TrayMessage::RightUp); // must reach nothing, and not crash
    QCOMPARE(raised, 1);
    QCOMPARE(calls, QStringList{"Hide"});
}

QTEST_MAIN(tst_TrayIcon)
#include "tst_TrayIcon.moc"
