// The stamp's text and the system's local time and zone record are kept per second; these
// tests hold that a new second, a change of TZ and a change of the daylight box all show
// at the very next request, within the same second.
#include "FakeTime.h"
#include "ReplyStamp.h"
#include "ReplyStamper.h"

#include <QTest>
#include <QThread>

#include <ctime>
#include <functional>

namespace {

// Standard time only on 1 January and 31 December, one hour of daylight saving between.
const char *MostlyDaylightZone = "XST0XDT,J2/0,J365/0";

time_t WallSecond()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec;
}

QByteArray UtcStampAt(time_t second)
{
    return ReplyStamp::Format(DateValue::fromSecsSinceEpoch(second, Qt::UTC), QLocale::c());
}

// Runs the checks within one wall-clock second, so that only what the test changes can
// change the results; true when that came off within a few tries.
bool WithinOneSecond(const std::function<void(time_t)> &checks)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const time_t before = WallSecond();
        checks(before);
        if (QTest::currentTestFailed() || WallSecond() == before)
            return true;
    }
    return false;
}

} // namespace

class tst_StampCache : public QObject
{
    Q_OBJECT
private slots:
    void init() { qputenv("TZ", "UTC0"); }
    void cleanupTestCase() { qunsetenv("TZ"); }

    void stamperFollowsClockZoneAndBox();
    void systemZoneFollowsTzWithinTheSecond();
    void systemStampFollowsTzAndBoxWithinTheSecond();
    void newSecondShowsAtTheNextRequest();
    void otherThreadsReadAfresh();
};

void tst_StampCache::stamperFollowsClockZoneAndBox()
{
    FakeLocalClock clock;
    clock.now = MakeDateValue(2026, 12, 5, 23, 2, 52);
    FakeTimeZoneSource zone;
    zone.record = {-60, -60};
    TimeZone tz(zone, clock);
    ReplyStamper stamper(tz, QLocale::c());

    // The box may change between any two requests of one second, in any order.
    QCOMPARE(stamper.Stamp(0), QByteArray("05DEC26220252"));
    QCOMPARE(stamper.Stamp(1), QByteArray("05DEC26210252"));
    QCOMPARE(stamper.Stamp(0), QByteArray("05DEC26220252"));
    QCOMPARE(stamper.Stamp(2), QByteArray("05DEC26210252"));

    clock.now = clock.now.addSecs(1);
    QCOMPARE(stamper.Stamp(0), QByteArray("05DEC26220253"));
    QCOMPARE(stamper.Stamp(1), QByteArray("05DEC26210253"));

    // A changed record with the clock standing still.
    zone.record = {-120, -60};
    QCOMPARE(stamper.Stamp(0), QByteArray("05DEC26210253"));
    QCOMPARE(stamper.Stamp(1), QByteArray("05DEC26200253"));
}

void tst_StampCache::systemZoneFollowsTzWithinTheSecond()
{
    const SystemLocalClock clock;
    const SystemTimeZoneSource source;
    const bool done = WithinOneSecond([&](time_t second) {
        const DateValue utc = DateValue::fromSecsSinceEpoch(second, Qt::UTC);
        qputenv("TZ", "UTC0");
        QCOMPARE(clock.Now(), utc);
        QCOMPARE(source.Query().Bias, 0);
        qputenv("TZ", "IST-5:30");
        QCOMPARE(clock.Now(), utc.addSecs(330 * 60));
        QCOMPARE(source.Query().Bias, -330);
        QCOMPARE(source.Query().DaylightBias, 0);
        qputenv("TZ", "EST5");
        QCOMPARE(clock.Now(), utc.addSecs(-300 * 60));
        QCOMPARE(source.Query().Bias, 300);
        qunsetenv("TZ"); // back to the system's zone file
        tzset();
        struct tm local;
        localtime_r(&second, &local);
        QCOMPARE(clock.Now(), utc.addSecs(local.tm_gmtoff));
    });
    QVERIFY2(done, "the second never stood still long enough");
}

void tst_StampCache::systemStampFollowsTzAndBoxWithinTheSecond()
{
    const QDate today = QDateTime::currentDateTimeUtc().date();
    if ((today.month() == 12 && today.day() >= 30) || (today.month() == 1 && today.day() == 1))
        QSKIP("the test zone keeps standard time around the turn of the year");
    TimeZone zone;
    ReplyStamper stamper(zone, QLocale::c());
    const bool done = WithinOneSecond([&](time_t second) {
        const QByteArray utc = UtcStampAt(second);
        const QByteArray hourAhead = UtcStampAt(second + 3600);
        qputenv("TZ", "UTC0");
        QCOMPARE(stamper.Stamp(0), utc);
        QCOMPARE(stamper.Stamp(1), utc);
        // Daylight time now: the unchecked box leaves the daylight hour in.
        qputenv("TZ", MostlyDaylightZone);
        QCOMPARE(stamper.Stamp(0), hourAhead);
        QCOMPARE(stamper.Stamp(1), utc);
        QCOMPARE(stamper.Stamp(2), utc);
        QCOMPARE(stamper.Stamp(0), hourAhead);
        qputenv("TZ", "UTC0");
        QCOMPARE(stamper.Stamp(0), utc);
    });
    QVERIFY2(done, "the second never stood still long enough");
}

void tst_StampCache::newSecondShowsAtTheNextRequest()
{
    TimeZone zone;
    ReplyStamper stamper(zone, QLocale::c());
    const SystemLocalClock clock;
    int boundaries = 0;
    for (int attempt = 0; attempt < 10 && boundaries < 3; ++attempt) {
        // Ask during the last moments of a second, so that its text is kept, then spin
        // to the next second and ask again at once.
        const time_t old = WallSecond();
        timespec ts{};
        do {
            clock_gettime(CLOCK_REALTIME, &ts);
        } while (ts.tv_sec == old && ts.tv_nsec < 990'000'000);
        if (ts.tv_sec != old)
            continue;
        const QByteArray oldStamp = stamper.Stamp(0);
        const DateValue oldLocal = clock.Now();
        time_t now;
        while ((now = WallSecond()) == old) {
        }
        const QByteArray stamp = stamper.Stamp(0);
        const DateValue local = clock.Now();
        if (WallSecond() != now)
            continue; // preempted past the next second: no verdict either way
        if (oldStamp != UtcStampAt(old))
            continue; // the old second ended between reading it and asking
        QCOMPARE(oldLocal, DateValue::fromSecsSinceEpoch(old, Qt::UTC));
        QCOMPARE(stamp, UtcStampAt(now));
        QCOMPARE(local, DateValue::fromSecsSinceEpoch(now, Qt::UTC));
        ++boundaries;
    }
    QVERIFY2(boundaries == 3, "too few second boundaries could be watched");
}

void tst_StampCache::otherThreadsReadAfresh()
{
    // Only the application's thread keeps results; another thread sees each TZ at once.
    // What it reads is compared here, on the test's own thread.
    time_t second = 0;
    DateValue underUtc, underIndia;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        const SystemLocalClock clock;
        for (int attempt = 0; attempt < 5; ++attempt) {
            second = WallSecond();
            qputenv("TZ", "UTC0");
            underUtc = clock.Now();
            qputenv("TZ", "IST-5:30");
            underIndia = clock.Now();
            if (WallSecond() == second)
                return;
        }
        second = 0;
    }));
    worker->start();
    QVERIFY(worker->wait(10000));
    QVERIFY2(second != 0, "the second never stood still long enough");
    const DateValue utc = DateValue::fromSecsSinceEpoch(second, Qt::UTC);
    QCOMPARE(underUtc, utc);
    QCOMPARE(underIndia, utc.addSecs(330 * 60));
    // And the application's thread is not misled by what the other one read.
    qputenv("TZ", "UTC0");
    QVERIFY(WithinOneSecond([](time_t now) {
        QCOMPARE(SystemLocalClock().Now(), DateValue::fromSecsSinceEpoch(now, Qt::UTC));
    }));
}

QTEST_GUILESS_MAIN(tst_StampCache)
#include "tst_StampCache.moc"
