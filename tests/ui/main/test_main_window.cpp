#include "MainWindowRig.h"

#include <QLabel>

// The main window as the operator first sees it.
class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void controlsInPlace_data();
    void controlsInPlace();
    void labelsEndBesideTheirBoxes();
    void initialStates();
    void tabOrderAndAccessKeys();
    void colours();
    void clocksShowAndReadBack();
    void grayedBoxClickedBecomesChecked();
};

void TestMainWindow::controlsInPlace_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    auto row = [](const char *name, const char *caption, int l, int t, int w, int h) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(caption) << QRect(l, t, w, h);
    };
    row("txtPort", "1610", 1980, 1500, 555, 285);
    row("butStartStop", "&Start Server", 840, 1860, 2115, 495);
    row("txtUTCTime", "", 1500, 2880, 1815, 285);
    row("txtYourTime", "", 1500, 3240, 1815, 285);
    row("txtStartStopTime", "", 1500, 3600, 1815, 285);
    row("lblTotalConnections", "Total number of connections:", 60, 4080, 3675, 195);
    row("txtConnections1", "0", 2160, 4440, 975, 285);
    row("txtConnections2", "0", 2160, 4800, 975, 285);
    row("lblMaxSim", "Maximum number of simultaneous connections:", 60, 5280, 3675, 375);
    row("txtMaxSim1", "0", 2400, 5820, 555, 285);
    row("txtMaxSim2", "0", 2400, 6180, 555, 285);
    row("butHelp", "&Help", 1080, 6660, 1635, 495);
    row("imgIdleIcon", "", 3240, 840, 480, 480);
}

void TestMainWindow::controlsInPlace()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    MainWindowRig rig;
    QWidget *w = rig.w->findChild<QWidget *>(name);
    QVERIFY(w);
    const QRect pixels(qRound(twips.x() / 15.0), qRound(twips.y() / 15.0),
                       qRound(twips.width() / 15.0), qRound(twips.height() / 15.0));
    QCOMPARE(w->geometry(), pixels);
    if (auto *txt = qobject_cast<QLineEdit *>(w); txt && !caption.isEmpty())
        QCOMPARE(txt->text(), caption);
    else if (auto *but = qobject_cast<QPushButton *>(w))
        QCOMPARE(but->text(), caption);
    else if (auto *lbl = qobject_cast<QLabel *>(w); lbl && !caption.isEmpty())
        QCOMPARE(lbl->text(), caption);
    QCOMPARE(rig.w->size(), QSize(253, 490));
    QCOMPARE(rig.w->windowTitle(), QStringLiteral("Tallix Server"));
}

void TestMainWindow::labelsEndBesideTheirBoxes()
{
    MainWindowRig rig;
    const QList<QPair<QLabel *, QLineEdit *>> pairs = {
        {rig.w->lblPort, rig.w->txtPort},           {rig.w->lblUTCTime, rig.w->txtUTCTime},
        {rig.w->lblYourTime, rig.w->txtYourTime},   {rig.w->lblStartStopTime, rig.w->txtStartStopTime},
        {rig.w->lblConnections1, rig.w->txtConnections1}, {rig.w->lblConnections2, rig.w->txtConnections2},
        {rig.w->lblMaxSim1, rig.w->txtMaxSim1},     {rig.w->lblMaxSim2, rig.w->txtMaxSim2}};
    for (const auto &[label, box] : pairs) {
        // 45 twips (3 pixels) of air between a label's end and its box, the text unclipped.
        QCOMPARE(box->geometry().left() - (label->geometry().right() + 1), 3);
        QVERIFY(label->alignment() & Qt::AlignRight);
        QVERIFY2(label->fontMetrics().horizontalAdvance(QString(label->text()).remove(QLatin1Char('&')))
                     <= label->width(), qPrintable(label->text()));
        QVERIFY(label->geometry().left() >= 0);
    }
    for (CheckBox *box : rig.w->findChildren<CheckBox *>())
        QVERIFY2(box->sizeHint().width() <= box->width() && box->geometry().right() < rig.w->width(),
                 qPrintable(box->text()));
}

void TestMainWindow::initialStates()
{
    MainWindowRig rig;
    for (CheckBox *box : {rig.w->chkLoadOnStartUp, rig.w->chkStartOnLoad, rig.w->chkMinimizeOnLoad,
                          rig.w->chkLog, rig.w->chkDaylightSavings})
        QCOMPARE(box->Value(), 0);
    for (QLineEdit *txt : {rig.w->txtUTCTime, rig.w->txtYourTime, rig.w->txtStartStopTime,
                           rig.w->txtConnections1, rig.w->txtConnections2, rig.w->txtMaxSim1, rig.w->txtMaxSim2})
        QVERIFY(txt->isReadOnly());
    QVERIFY(!rig.w->txtPort->isReadOnly());
    for (QWidget *w : {static_cast<QWidget *>(rig.w->lblTotalConnections), static_cast<QWidget *>(rig.w->txtConnections1),
                       static_cast<QWidget *>(rig.w->lblMaxSim2), static_cast<QWidget *>(rig.w->txtMaxSim2)})
        QVERIFY(!w->isEnabled());
    QVERIFY(rig.w->txtStartStopTime->isEnabled() && rig.w->lblStartStopTime->isEnabled());
    QCOMPARE(rig.w->lblStartStopTime->text(), QStringLiteral("Program started at:"));
    QVERIFY(rig.w->lblTotalConnections->font().bold() && rig.w->lblMaxSim->font().bold());
    QVERIFY(!rig.w->lblPort->font().bold());
    QVERIFY(!rig.w->windowIcon().isNull());
    QVERIFY(!rig.w->imgIdleIcon->pixmap().isNull());
    QVERIFY(!rig.w->ServerRunning);
}

void TestMainWindow::tabOrderAndAccessKeys()
{
    // A zone with daylight saving: under one without it the clock tick unchecks the
    // daylight box every second, which would race with the access key below.
    FakeTime fake(MakeDateValue(2026, 12, 5, 22, 2, 52), {300, -60});
    MainWindowRig rig(&fake.zone, &fake.clock);
    rig.w->show();
    QVERIFY(QTest::qWaitForWindowActive(rig.w.get()));
    QCOMPARE(QApplication::focusWidget(), rig.w->butStartStop);
    const QList<QWidget *> expected = {rig.w->butStartStop, rig.w->chkDaylightSavings, rig.w->txtUTCTime,
                                       rig.w->txtYourTime, rig.w->txtStartStopTime, rig.w->butHelp,
                                       rig.w->chkLoadOnStartUp, rig.w->chkStartOnLoad,
                                       rig.w->chkMinimizeOnLoad, rig.w->chkLog, rig.w->txtPort};
    // Disabled statistics boxes are skipped by Tab, as they should be.
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), expected[i]);
    }
    QTest::keyClick(rig.w.get(), Qt::Key_P, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), rig.w->txtPort);
    QTest::keyClick(rig.w.get(), Qt::Key_Y, Qt::AltModifier);
    QTRY_COMPARE(rig.w->chkDaylightSavings->Value(), 1); // an access key clicks with a short animation
    rig.w->txtPort->setText(QStringLiteral("99999")); // so the start below fails fast
}

void TestMainWindow::colours()
{
    MainWindowRig rig;
    QCOMPARE(rig.w->palette().color(QPalette::Window), QColor(0, 0, 0));
    QCOMPARE(rig.w->lblUTCTime->palette().color(QPalette::WindowText), QColor(0, 153, 255));
    QCOMPARE(rig.w->chkLog->palette().color(QPalette::WindowText), QColor(0, 153, 255));
    QCOMPARE(rig.w->txtPort->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
}

void TestMainWindow::clocksShowAndReadBack()
{
    MainWindowRig rig;
    const DateText texts;
    QVERIFY(texts.Parse(rig.w->txtYourTime->text()).has_value());
    QVERIFY(texts.Parse(rig.w->txtUTCTime->text()).has_value());
    for (QLineEdit *box : {rig.w->txtYourTime, rig.w->txtUTCTime})
        QVERIFY2(box->fontMetrics().horizontalAdvance(box->text()) <= box->width() - 4, qPrintable(box->text()));
    // The next tick comes within the next second, and shows a newer time.
    const QString first = rig.w->txtYourTime->text();
    QVERIFY(WaitFor([&] { return rig.w->txtYourTime->text() != first; }, 2500));
    QCOMPARE(rig.w->LastDisplayedTime(), *texts.Parse(rig.w->txtYourTime->text()));
    QVERIFY(rig.w->tmrConstant->isActive());
    QVERIFY(rig.w->tmrConstant->remainingTime() <= 1010);
}

void TestMainWindow::grayedBoxClickedBecomesChecked()
{
    MainWindowRig rig;
    rig.w->chkLog->setValue(2);
    QCOMPARE(rig.w->chkLog->Value(), 2);
    rig.w->chkLog->click();
    QCOMPARE(rig.w->chkLog->Value(), 1);
    rig.w->chkLog->click();
    QCOMPARE(rig.w->chkLog->Value(), 0);
    rig.w->chkLog->click();
    QCOMPARE(rig.w->chkLog->Value(), 1);
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
