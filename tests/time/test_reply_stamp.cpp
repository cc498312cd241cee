#include "ReplyStamp.h"

#include <QtTest>

class TestReplyStamp : public QObject
{
    Q_OBJECT
private slots:
    void english_data();
    void english();
    void everyMonthUnderC();
    void otherLanguageKeepsItsAbbreviation();
};

void TestReplyStamp::english_data()
{
    QTest::addColumn<QDateTime>("utc");
    QTest::addColumn<QByteArray>("stamp");
    QTest::newRow("example") << MakeDateValue(2026, 12, 5, 22, 2, 52) << QByteArray("05DEC26220252");
    QTest::newRow("midnight") << MakeDateValue(2027, 1, 1, 0, 0, 0) << QByteArray("01JAN27000000");
    QTest::newRow("year 2000, 24-hour clock") << MakeDateValue(2000, 2, 29, 13, 5, 9) << QByteArray("29FEB00130509");
    QTest::newRow("year 2009") << MakeDateValue(2009, 9, 9, 9, 9, 9) << QByteArray("09SEP09090909");
    QTest::newRow("no fraction") << MakeDateValue(2026, 6, 30, 23, 59, 59).addMSecs(999) << QByteArray("30JUN26235959");
}

void TestReplyStamp::english()
{
    QFETCH(QDateTime, utc);
    QFETCH(QByteArray, stamp);
    QCOMPARE(ReplyStamp::Format(utc, QLocale(QLocale::English, QLocale::UnitedStates)), stamp);
    QCOMPARE(ReplyStamp::Format(utc, QLocale::c()), stamp);
}

void TestReplyStamp::everyMonthUnderC()
{
    const char *months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                            "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    for (int m = 1; m <= 12; ++m) {
        const QByteArray s = ReplyStamp::Format(MakeDateValue(2026, m, 1), QLocale::c());
        QCOMPARE(s.size(), 13);
        QCOMPARE(s.mid(2, 3), QByteArray(months[m - 1]));
    }
}

void TestReplyStamp::otherLanguageKeepsItsAbbreviation()
{
    const QLocale german(QLocale::German, QLocale::Germany);
    const QByteArray s = ReplyStamp::Format(MakeDateValue(2026, 3, 5, 1, 2, 3), german);
    const QByteArray month = german.monthName(3, QLocale::ShortFormat).toUpper().toUtf8();
    QCOMPARE(s, "05" + month + "26010203");
}

QTEST_GUILESS_MAIN(TestReplyStamp)
#include "test_reply_stamp.moc"
