#include "FakeTime.h"
#include "ReplyStamper.h"
#include "TimeReply.h"

#include <QTest>

#include <limits>

class tst_TimeReply : public QObject
{
    Q_OBJECT
private slots:
    void echoesRequestColonStamp_data();
    void echoesRequestColonStamp();
    void stampFollowsDaylightBox_data();
    void stampFollowsDaylightBox();
    void impossibleZoneStillAnswers();
};

void tst_TimeReply::echoesRequestColonStamp_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("stamp");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("time") << QByteArray("time") << QByteArray("05DEC26220252")
                          << QByteArray("time:05DEC26220252");
    QTest::newRow("line end stays before the colon")
        << QByteArray("TIME\r\n") << QByteArray("01JAN27000000") << QByteArray("TIME\r\n:01JAN27000000");
    QTest::newRow("one byte in, fifteen out") << QByteArray("x") << QByteArray("29FEB00130509")
                                              << QByteArray("x:29FEB00130509");
    QTest::newRow("NUL and colon echoed as they came")
        << QByteArray("a\0:b", 4) << QByteArray("05DEC26220252") << QByteArray("a\0:b:05DEC26220252", 18);
    QTest::newRow("lower case untouched") << QByteArray("abc") << QByteArray("05DEC26220252")
                                          << QByteArray("abc:05DEC26220252");
}

void tst_TimeReply::echoesRequestColonStamp()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, stamp);
    QFETCH(QByteArray, reply);
    QCOMPARE(BuildTimeReply(request, stamp), reply);
    QCOMPARE(BuildTimeReply(request, stamp).size(), request.size() + 14);
}

void tst_TimeReply::stampFollowsDaylightBox_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<QByteArray>("stamp");
    // Local 23:02:52 on 5 December 2026, one hour east, daylight bias -60.
    QTest::newRow("unchecked: bias only") << 0 << QByteArray("05DEC26220252");
    QTest::newRow("checked: daylight too") << 1 << QByteArray("05DEC26210252");
    QTest::newRow("grayed counts as checked") << 2 << QByteArray("05DEC26210252");
}

void tst_TimeReply::stampFollowsDaylightBox()
{
    QFETCH(int, box);
    QFETCH(QByteArray, stamp);
    FakeLocalClock clock;
    clock.now = MakeDateValue(2026, 12, 5, 23, 2, 52);
    FakeTimeZoneSource zone;
    zone.record = {-60, -60};
    TimeZone tz(zone, clock);
    ReplyStamper stamper(tz, QLocale::c());
    QCOMPARE(stamper.Stamp(box), stamp);

    // Read afresh at every request: a changed clock shows in the next stamp.
    clock.now = MakeDateValue(2000, 1, 1, 1, 0, 0);
    zone.record = {-60, 0};
    QCOMPARE(stamper.Stamp(box), QByteArray("01JAN00000000"));
}

void tst_TimeReply::impossibleZoneStillAnswers()
{
    FakeLocalClock clock;
    clock.now = MakeDateValue(2026, 12, 5, 22, 2, 52);
    FakeTimeZoneSource zone;
    zone.record = {std::numeric_limits<qint32>::max(), 1};
    TimeZone tz(zone, clock);
    ReplyStamper stamper(tz, QLocale::c());
    QByteArray stamp;
    // A forged record overflows the daylight sum; the reply must not take the process down.
    stamp = stamper.Stamp(1);
    QCOMPARE(stamp, stamper.Stamp(0));
}

QTEST_APPLESS_MAIN(tst_TimeReply)
#include "tst_TimeReply.moc"
