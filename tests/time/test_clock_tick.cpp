#include "ClockTick.h"
#include "FakeTime.h"

#include <QtTest>

// Runs under the locale the environment names, as the operator's session would.
class TestClockTick : public QObject
{
    Q_OBJECT
private slots:
    void textsReadBackToTheSecond_data();
    void textsReadBackToTheSecond();
    void midnightShowsTheDateAlone();
    void daylightFollowsJumps_data();
    void daylightFollowsJumps();
    void zeroDaylightBiasCannotStayChecked();
    void boxFollowsTheZoneAtStart();
    void firstTickLeavesTheBoxAlone();
    void utcClockFollowsTheBox_data();
    void utcClockFollowsTheBox();

private:
    struct Rig
    {
        FakeTimeZoneSource source;
        FakeLocalClock clock;
        DateText texts;
        TimeZone zone{source, clock};
        ClockTick tick{zone, clock, texts};
    };
};

void TestClockTick::textsReadBackToTheSecond_data()
{
    QTest::addColumn<QDateTime>("value");
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("evening") << MakeDateValue(2026, 12, 5, 22, 2, 52) << QLocale::system();
    QTest::newRow("morning, single digits") << MakeDateValue(2027, 1, 2, 3, 4, 5) << QLocale::system();
    QTest::newRow("noon") << MakeDateValue(2026, 6, 30, 12, 0, 0) << QLocale::system();
    QTest::newRow("one second past midnight") << MakeDateValue(2026, 3, 1, 0, 0, 1) << QLocale::system();
    QTest::newRow("last second of a century") << MakeDateValue(2099, 12, 31, 23, 59, 59) << QLocale::system();
    QTest::newRow("early year") << MakeDateValue(1999, 12, 31, 23, 59, 59) << QLocale::system();
    for (const QLocale &l : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory))
        QTest::newRow(qPrintable(l.bcp47Name())) << MakeDateValue(2027, 1, 2, 15, 4, 5) << l;
}

void TestClockTick::textsReadBackToTheSecond()
{
    QFETCH(QDateTime, value);
    QFETCH(QLocale, locale);
    const DateText texts(locale);
    const QString shown = texts.Format(value);
    QVERIFY(!shown.isEmpty());
    QVERIFY2(!shown.contains(QLatin1String("UTC")) && !shown.contains(QLatin1String("GMT")), qPrintable(shown));
    const auto back = texts.Parse(shown);
    QVERIFY2(back.has_value(), qPrintable(shown));
    QCOMPARE(*back, value);
}

void TestClockTick::midnightShowsTheDateAlone()
{
    Rig rig;
    rig.clock.now = MakeDateValue(2026, 12, 6);
    const ClockTick::Result r = rig.tick.Run(0);
    QCOMPARE(rig.tick.LastDisplayedTime(), MakeDateValue(2026, 12, 6));
    // A second later the same date shows, followed by the time.
    rig.clock.now = MakeDateValue(2026, 12, 6, 0, 0, 1);
    const QString later = rig.tick.Run(0).YourTime;
    QVERIFY2(later.startsWith(r.YourTime + QLatin1Char(' ')) && later.size() > r.YourTime.size() + 4,
             qPrintable(r.YourTime + " / " + later));
}

void TestClockTick::daylightFollowsJumps_data()
{
    QTest::addColumn<QDateTime>("before");
    QTest::addColumn<QDateTime>("after");
    QTest::addColumn<int>("boxBefore");
    QTest::addColumn<int>("boxAfter");
    const int unchanged = -1;
    QTest::newRow("same minute") << MakeDateValue(2026, 3, 29, 10, 15, 28) << MakeDateValue(2026, 3, 29, 10, 15, 29) << 0 << unchanged;
    QTest::newRow("next minute") << MakeDateValue(2026, 3, 29, 10, 15, 59) << MakeDateValue(2026, 3, 29, 10, 16, 0) << 1 << unchanged;
    QTest::newRow("forward one hour checks") << MakeDateValue(2026, 3, 29, 10, 16, 0) << MakeDateValue(2026, 3, 29, 11, 16, 1) << 0 << 1;
    QTest::newRow("back one hour unchecks") << MakeDateValue(2026, 3, 29, 11, 16, 1) << MakeDateValue(2026, 3, 29, 10, 16, 2) << 1 << 0;
    QTest::newRow("back one hour unchecks grayed") << MakeDateValue(2026, 3, 29, 11, 16, 1) << MakeDateValue(2026, 3, 29, 10, 16, 2) << 2 << 0;
    QTest::newRow("exact hour within a minute") << MakeDateValue(2026, 3, 29, 10, 15, 30) << MakeDateValue(2026, 3, 29, 11, 15, 30) << 0 << 1;
    QTest::newRow("step -61 leaves it") << MakeDateValue(2026, 3, 29, 1, 59, 59) << MakeDateValue(2026, 3, 29, 3, 0, 0) << 0 << unchanged;
    QTest::newRow("step 59 leaves it") << MakeDateValue(2026, 10, 25, 1, 59, 59) << MakeDateValue(2026, 10, 25, 1, 0, 0) << 1 << unchanged;
    QTest::newRow("forward across midnight") << MakeDateValue(2026, 3, 29, 23, 30, 0) << MakeDateValue(2026, 3, 30, 0, 30, 0) << 0 << 1;
}

void TestClockTick::daylightFollowsJumps()
{
    QFETCH(QDateTime, before);
    QFETCH(QDateTime, after);
    QFETCH(int, boxBefore);
    QFETCH(int, boxAfter);
    Rig rig;
    rig.source.record = {300, -60};
    rig.clock.now = before;
    QCOMPARE(rig.tick.Run(boxBefore).DaylightValue, boxBefore);
    rig.clock.now = after;
    QCOMPARE(rig.tick.Run(boxBefore).DaylightValue, boxAfter == -1 ? boxBefore : boxAfter);
    QCOMPARE(rig.tick.LastDisplayedTime(), after);
}

void TestClockTick::boxFollowsTheZoneAtStart()
{
    // {daylight bias, daylight in force, box as saved, box at start}
    const int rows[][4] = {{-60, 1, 0, 1}, {-60, 0, 1, 0}, {-60, 0, 2, 0}, {-60, 1, 2, 2}, {-60, 0, 0, 0}, {0, 0, 1, 1}};
    for (const auto &r : rows) {
        Rig rig;
        rig.source.record = {300, r[0], r[1] == 1};
        QCOMPARE(ClockTick::DaylightAtStart(rig.zone, r[2]), r[3]);
    }
}

void TestClockTick::zeroDaylightBiasCannotStayChecked()
{
    Rig rig;
    rig.source.record = {-60, 0};
    rig.clock.now = MakeDateValue(2026, 7, 1, 12, 0, 0);
    rig.tick.Run(0);
    rig.clock.now = MakeDateValue(2026, 7, 1, 12, 0, 1);
    QCOMPARE(rig.tick.Run(1).DaylightValue, 0);
    QCOMPARE(rig.tick.Run(2).DaylightValue, 0);
}

void TestClockTick::firstTickLeavesTheBoxAlone()
{
    for (int box : {0, 1, 2}) {
        Rig rig;
        rig.source.record = {300, -60};
        QCOMPARE(rig.tick.Run(box).DaylightValue, box);
    }
}

void TestClockTick::utcClockFollowsTheBox_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<QDateTime>("utc");
    QTest::newRow("unchecked") << 0 << MakeDateValue(2026, 3, 5, 15, 15, 30);
    QTest::newRow("checked") << 1 << MakeDateValue(2026, 3, 5, 14, 15, 30);
    QTest::newRow("grayed counts as checked") << 2 << MakeDateValue(2026, 3, 5, 14, 15, 30);
}

void TestClockTick::utcClockFollowsTheBox()
{
    QFETCH(int, box);
    QFETCH(QDateTime, utc);
    Rig rig;
    rig.source.record = {300, -60};
    rig.clock.now = MakeDateValue(2026, 3, 5, 10, 15, 30);
    const ClockTick::Result r = rig.tick.Run(box);
    QCOMPARE(r.UTCTime, rig.texts.Format(utc));
    QCOMPARE(r.YourTime, rig.texts.Format(rig.clock.now));
}

QTEST_GUILESS_MAIN(TestClockTick)
#include "test_clock_tick.moc"
