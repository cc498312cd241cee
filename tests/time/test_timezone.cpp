#include "FakeTime.h"
#include "TimeZone.h"

#include <QtTest>
#include <cstdlib>
#include <ctime>

class TestTimeZone : public QObject
{
    Q_OBJECT

private slots:
    void systemZones_data();
    void systemZones();
    void zoneChangeShowsAtNextCall();
    void carries_data();
    void carries();
    void daylightWithZeroBiasEqualsPlain();
    void overflowIsAnError();
    void zerosLeaveLocalTime();
    void recordIsAskedEveryCall();

private:
    QByteArray savedTz_;
};

void TestTimeZone::systemZones_data()
{
    QTest::addColumn<QByteArray>("tz");
    QTest::addColumn<int>("bias");
    QTest::addColumn<int>("daylightBias");
    QTest::newRow("New York") << QByteArray("America/New_York") << 300 << -60;
    QTest::newRow("London") << QByteArray("Europe/London") << 0 << -60;
    QTest::newRow("Dublin reads like Windows") << QByteArray("Europe/Dublin") << 0 << -60;
    QTest::newRow("Kolkata") << QByteArray("Asia/Kolkata") << -330 << 0;
    QTest::newRow("Kathmandu") << QByteArray("Asia/Kathmandu") << -345 << 0;
    QTest::newRow("UTC") << QByteArray("UTC") << 0 << 0;
    QTest::newRow("Sydney, daylight in January") << QByteArray("Australia/Sydney") << -600 << -60;
    QTest::newRow("Lord Howe, half-hour daylight") << QByteArray("Australia/Lord_Howe") << -630 << -30;
}

void TestTimeZone::systemZones()
{
    QFETCH(QByteArray, tz);
    QFETCH(int, bias);
    QFETCH(int, daylightBias);
    qputenv("TZ", tz);
    const TimeZoneRecord r = SystemTimeZoneSource().Query();
    QCOMPARE(r.Bias, bias);
    QCOMPARE(r.DaylightBias, daylightBias);

    // The system's own UTC must come out of one of the two functions, whichever
    // offset the zone has in force today.
    TimeZone zone;
    const QDateTime realUtc = QDateTime::currentDateTimeUtc();
    const DateValue plain = zone.GetUTCNow();
    const DateValue daylight = zone.GetUTCNowDaylight();
    const DateValue expected(realUtc.date(), realUtc.time(), Qt::UTC);
    const bool plainMatches = qAbs(plain.secsTo(expected)) <= 2;
    const bool daylightMatches = qAbs(daylight.secsTo(expected)) <= 2;
    QVERIFY2(plainMatches || daylightMatches, qPrintable(plain.toString() + " / " + daylight.toString()));
    QCOMPARE(zone.GetDaylightBias(), daylightBias);
    qunsetenv("TZ");
}

void TestTimeZone::zoneChangeShowsAtNextCall()
{
    TimeZone zone;
    qputenv("TZ", "Asia/Kolkata");
    QCOMPARE(SystemTimeZoneSource().Query().Bias, -330);
    qputenv("TZ", "America/New_York");
    QCOMPARE(SystemTimeZoneSource().Query().Bias, 300);
    qunsetenv("TZ");
}

void TestTimeZone::carries_data()
{
    QTest::addColumn<int>("bias");
    QTest::addColumn<int>("daylightBias");
    QTest::addColumn<QDateTime>("local");
    QTest::addColumn<QDateTime>("plain");
    QTest::addColumn<QDateTime>("daylight");
    QTest::newRow("west, same day") << 300 << -60 << MakeDateValue(2026, 3, 5, 10, 15, 30)
                                    << MakeDateValue(2026, 3, 5, 15, 15, 30) << MakeDateValue(2026, 3, 5, 14, 15, 30);
    QTest::newRow("into next year") << 300 << -60 << MakeDateValue(2025, 12, 31, 21, 30, 0)
                                    << MakeDateValue(2026, 1, 1, 2, 30, 0) << MakeDateValue(2026, 1, 1, 1, 30, 0);
    QTest::newRow("east, back a month") << -60 << -60 << MakeDateValue(2026, 7, 1, 0, 30, 0)
                                        << MakeDateValue(2026, 6, 30, 23, 30, 0) << MakeDateValue(2026, 6, 30, 22, 30, 0);
    QTest::newRow("half hour east") << -330 << 0 << MakeDateValue(2026, 6, 1, 3, 0, 0)
                                    << MakeDateValue(2026, 5, 31, 21, 30, 0) << MakeDateValue(2026, 5, 31, 21, 30, 0);
    QTest::newRow("quarter hour east, back a year") << -345 << 0 << MakeDateValue(2027, 1, 1, 5, 0, 0)
                                    << MakeDateValue(2026, 12, 31, 23, 15, 0) << MakeDateValue(2026, 12, 31, 23, 15, 0);
    QTest::newRow("23:59:59 plus a minute") << 1 << 0 << MakeDateValue(2026, 12, 31, 23, 59, 59)
                                    << MakeDateValue(2027, 1, 1, 0, 0, 59) << MakeDateValue(2027, 1, 1, 0, 0, 59);
    QTest::newRow("leap day") << 600 << -60 << MakeDateValue(2028, 2, 28, 20, 0, 0)
                                    << MakeDateValue(2028, 2, 29, 6, 0, 0) << MakeDateValue(2028, 2, 29, 5, 0, 0);
}

void TestTimeZone::carries()
{
    QFETCH(int, bias);
    QFETCH(int, daylightBias);
    QFETCH(QDateTime, local);
    QFETCH(QDateTime, plain);
    QFETCH(QDateTime, daylight);
    FakeTimeZoneSource source;
    source.record = {bias, daylightBias};
    FakeLocalClock clock;
    clock.now = local;
    TimeZone zone(source, clock);
    QCOMPARE(zone.GetUTCNow(), plain);
    QCOMPARE(zone.GetUTCNowDaylight(), daylight);
    QCOMPARE(zone.GetDaylightBias(), daylightBias); // as stored, never its opposite
}

void TestTimeZone::daylightWithZeroBiasEqualsPlain()
{
    FakeTimeZoneSource source;
    source.record = {-120, 0};
    FakeLocalClock clock;
    TimeZone zone(source, clock);
    QCOMPARE(zone.GetUTCNowDaylight(), zone.GetUTCNow());
}

void TestTimeZone::overflowIsAnError()
{
    FakeTimeZoneSource source;
    source.record = {std::numeric_limits<qint32>::max(), 1};
    FakeLocalClock clock;
    TimeZone zone(source, clock);
    QVERIFY_THROWS_EXCEPTION(TimeZoneOverflow, zone.GetUTCNowDaylight());
    source.record = {std::numeric_limits<qint32>::min(), -1};
    QVERIFY_THROWS_EXCEPTION(TimeZoneOverflow, zone.GetUTCNowDaylight());
    source.record = {std::numeric_limits<qint32>::max(), 0};
    zone.GetUTCNowDaylight(); // at the edge, still fits
}

void TestTimeZone::zerosLeaveLocalTime()
{
    FakeTimeZoneSource source; // a failed query leaves the record cleared
    FakeLocalClock clock;
    TimeZone zone(source, clock);
    QCOMPARE(zone.GetUTCNow(), clock.now);
    QCOMPARE(zone.GetUTCNowDaylight(), clock.now);
    QCOMPARE(zone.GetDaylightBias(), 0);
}

void TestTimeZone::recordIsAskedEveryCall()
{
    FakeTimeZoneSource source;
    FakeLocalClock clock;
    TimeZone zone(source, clock);
    zone.GetUTCNow();
    source.record = {60, -60};
    QCOMPARE(zone.GetUTCNow(), clock.now.addSecs(3600));
    QCOMPARE(source.queries, 2);
}

QTEST_GUILESS_MAIN(TestTimeZone)
#include "test_timezone.moc"
