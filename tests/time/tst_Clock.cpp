// The window's clock tick and date-time texts, the system's zones, the reply stamp, and
// the clock's trust judged from an injected reading.
// CTest runs it once per locale the program is checked with, set in the environment as
// the operator's session would set it.
#include "ClockTick.h"
#include "ClockTrust.h"
#include "FakeTime.h"
#include "SavedEnvironment.h"
#include "TimeReply.h"

#include <QTest>

class tst_Clock : public QObject
{
    Q_OBJECT

    struct Rig : FakeTime
    {
        DateText texts;
        ClockTick tick{zone, clock, texts};
    };

private slots:
    void daylightFollowsJumps_data()
    {
        QTest::addColumn<int>("daylightBias");
        QTest::addColumn<QDateTime>("before");
        QTest::addColumn<QDateTime>("after");
        QTest::addColumn<int>("elapsed");  // seconds that really passed between the ticks
        QTest::addColumn<int>("box");      // before the two ticks; the first leaves it alone
        QTest::addColumn<int>("boxAfter"); // -1: unchanged
        const auto at = [](int d, int h, int mi, int s) { return MakeDateValue(2026, 3, d, h, mi, s); };
        QTest::newRow("next minute") << -60 << at(29, 10, 15, 59) << at(29, 10, 16, 0) << 1 << 1 << -1;
        QTest::newRow("grayed stays") << -60 << at(29, 10, 15, 28) << at(29, 10, 15, 29) << 1 << 2 << -1;
        QTest::newRow("forward one hour checks") << -60 << at(29, 10, 16, 0) << at(29, 11, 16, 1) << 1 << 0 << 1;
        QTest::newRow("back one hour unchecks") << -60 << at(29, 11, 16, 1) << at(29, 10, 16, 2) << 1 << 1 << 0;
        QTest::newRow("exact hour within a minute") << -60 << at(29, 10, 15, 30) << at(29, 11, 15, 30) << 0 << 0 << 1;
        // A change of the clocks happens at a minute boundary, so the shown minute moves too.
        QTest::newRow("autumn change unchecks") << -60 << at(29, 2, 59, 59) << at(29, 2, 0, 0) << 1 << 1 << 0;
        QTest::newRow("late tick of an autumn change") << -60 << at(29, 2, 59, 58) << at(29, 2, 0, 1) << 3 << 2 << 0;
        QTest::newRow("61 minutes leaves it") << -60 << at(29, 10, 0, 0) << at(29, 11, 1, 0) << 0 << 0 << -1;
        QTest::newRow("59 minutes back leaves it") << -60 << at(29, 10, 0, 0) << at(29, 9, 1, 0) << 0 << 1 << -1;
        QTest::newRow("an hour that really passed leaves it") << -60 << at(29, 10, 0, 0) << at(29, 11, 0, 0) << 3600 << 0 << -1;
        QTest::newRow("forward onto midnight (date alone)") << -60 << at(29, 23, 0, 0) << at(30, 0, 0, 0) << 0 << 0 << 1;
        QTest::newRow("half-hour bias") << -30 << at(5, 10, 0, 0) << at(5, 9, 30, 0) << 0 << 1 << 0;
        QTest::newRow("zero bias cannot stay checked") << 0 << at(5, 12, 0, 0) << at(5, 12, 0, 1) << 1 << 1 << 0;
    }

    void daylightFollowsJumps()
    {
        QFETCH(int, daylightBias);
        QFETCH(QDateTime, before);
        QFETCH(QDateTime, after);
        QFETCH(int, elapsed);
        QFETCH(int, box);
        QFETCH(int, boxAfter);
        Rig rig;
        rig.source.record = {300, daylightBias};
        rig.clock.now = before;
        rig.clock.elapsedMs = 5000;
        QCOMPARE(rig.tick.Run(box).DaylightValue, box);
        rig.clock.now = after;
        rig.clock.elapsedMs += elapsed * 1000 + 400; // ticks come a little late
        const ClockTick::Result r = rig.tick.Run(box);
        QCOMPARE(r.DaylightValue, boxAfter == -1 ? box : boxAfter);
        QCOMPARE(rig.tick.LastDisplayedTime(), after);
        // The UTC clock applies the daylight bias for a checked or grayed box.
        const int minutes = 300 + (r.DaylightValue != 0 ? daylightBias : 0);
        QCOMPARE(r.UTCTime, rig.texts.Format(after.addSecs(minutes * 60)));
    }

    void savedDaylightChoiceAtStart()
    {
        // {daylight bias, in force when saved (-1: no time known), in force now, box as saved, box at start}
        const int rows[][5] = {{-60, 0, 0, 1, 1},  {-60, 1, 1, 0, 0},  {-60, 0, 1, 0, 1}, {-60, 1, 0, 1, 0}, {-60, 1, 0, 2, 0},
                               {-60, 0, 0, 2, 2},  {-60, 1, 1, 2, 2},  {-60, 0, 1, 1, 1}, {0, 0, 0, 1, 1},   {0, 0, 0, 2, 2},
                               {-60, -1, 1, 0, 0}, {-60, -1, 0, 1, 1}, {-30, 1, 0, 1, 0}};
        for (const auto &r : rows) {
            Rig rig;
            rig.source.record = {300, r[0], r[2] == 1};
            rig.source.daylightThen = r[1] == 1;
            const std::optional<QDateTime> savedAt = r[1] == -1 ? std::nullopt : std::optional(rig.clock.now.addDays(-90));
            QCOMPARE(ClockTick::DaylightAtStart(rig.zone, r[3], savedAt), r[4]);
        }
    }

    // The reply's stamp: a new record shows at the very next request. Between a
    // change of the clocks and the tick after it the box is what that tick is about to set;
    // after the tick, and after a change of zone, it stands as left. A forged record whose
    // daylight offset overflows leaves the tick and the reply on standard time, said once.
    void replyFollowsBoxZoneAndChange()
    {
        Rig rig;
        const TimeReply reply(rig.zone, QLocale::c());
        rig.source.record = {-60, -60, false};
        rig.clock.now = MakeDateValue(2026, 3, 29, 1, 59, 59);
        QCOMPARE(rig.tick.Run(0).DaylightValue, 0);
        rig.source.record.DaylightInForce = true;
        rig.clock.now = MakeDateValue(2026, 3, 29, 3, 0, 0);
        QCOMPARE(reply.Stamp(0), QByteArray("29MAR26020000"));
        QCOMPARE(reply.Stamp(0, &rig.tick), QByteArray("29MAR26010000"));
        rig.clock.elapsedMs += 1000;
        QCOMPARE(rig.tick.Run(0).DaylightValue, 1);
        QCOMPARE(reply.Stamp(0, &rig.tick), QByteArray("29MAR26020000")); // the operator's box against the season
        rig.source.record = {-600, -60, false};
        QCOMPARE(reply.Stamp(1, &rig.tick), QByteArray("28MAR26160000"));
        rig.source.record.Bias = std::numeric_limits<qint32>::min();
        const DateValue standard = TimeZone::AddBias(rig.clock.now, rig.source.record);
        QCOMPARE(reply.Stamp(1, &rig.tick), TimeReply::FormatStamp(standard, QLocale::c()));
        QVERIFY(rig.tick.Run(1).ZoneOverflowBegan);
        const ClockTick::Result again = rig.tick.Run(1);
        QVERIFY(!again.ZoneOverflowBegan && again.UTCTime == rig.texts.Format(standard));
    }

    void textsReadBackToTheSecond_data()
    {
        QTest::addColumn<QDateTime>("value");
        QTest::addColumn<QLocale>("locale");
        const QLocale here = QLocale::system();
        QTest::newRow("midnight") << MakeDateValue(2026, 3, 1, 0, 0, 0) << here;
        QTest::newRow("last second of a century") << MakeDateValue(2099, 12, 31, 23, 59, 59) << here;
        QTest::newRow("earlier century") << MakeDateValue(1999, 12, 31, 23, 59, 59) << here;
        // Every locale Qt knows, or the jump detection would stop where one does not read back.
        for (const QLocale &l : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory))
            QTest::newRow(qPrintable(l.bcp47Name())) << MakeDateValue(2027, 1, 2, 15, 4, 5) << l;
    }

    void textsReadBackToTheSecond()
    {
        QFETCH(QDateTime, value);
        QFETCH(QLocale, locale);
        const DateText texts(locale);
        const QString shown = texts.Format(value);
        QVERIFY2(!shown.contains(QLatin1String("UTC")) && !shown.contains(QLatin1String("GMT")), qPrintable(shown));
        QCOMPARE(texts.Parse(shown).value_or(ZeroDateValue()), value);
        // Midnight shows the date alone; a second later the time follows it.
        if (value.time() == QTime(0, 0))
            QVERIFY2(texts.Format(value.addSecs(1)).startsWith(shown + u' '), qPrintable(shown));
    }

    void systemZones_data()
    {
        QTest::addColumn<QByteArray>("tz");
        QTest::addColumn<QString>("expected"); // bias, daylight bias, daylight in force in January and July
        QTest::newRow("London") << QByteArray("Europe/London") << "0 -60 01";
        QTest::newRow("Dublin reads like London") << QByteArray("Europe/Dublin") << "0 -60 01";
        QTest::newRow("Kolkata") << QByteArray("Asia/Kolkata") << "-330 0 00";
        QTest::newRow("Kathmandu") << QByteArray("Asia/Kathmandu") << "-345 0 00";
        QTest::newRow("UTC") << QByteArray("UTC") << "0 0 00";
        QTest::newRow("Lord Howe, half-hour daylight") << QByteArray("Australia/Lord_Howe") << "-630 -30 10";
    }

    void systemZones()
    {
        QFETCH(QByteArray, tz);
        QFETCH(QString, expected);
        const auto saved = SavedEnvironment({"TZ"});
        qputenv("TZ", tz);
        const TimeZoneRecord r = SystemTimeZoneSource().Query();
        const auto inForce = [](int month) {
            return SystemTimeZoneSource().DaylightInForceAt(QDateTime(QDate(2025, month, 15), QTime(12, 0), Qt::UTC).toSecsSinceEpoch());
        };
        QCOMPARE(QStringLiteral("%1 %2 %3%4").arg(r.Bias).arg(r.DaylightBias).arg(inForce(1)).arg(inForce(7)), expected);
    }

    void stamp_data()
    {
        QTest::addColumn<QDateTime>("utc");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QByteArray>("stamp");
        QTest::newRow("C, leap day of 2000, 24-hour") << MakeDateValue(2000, 2, 29, 13, 5, 9) << "C" << QByteArray("29FEB00130509");
        QTest::newRow("C, fraction dropped") << MakeDateValue(2026, 6, 30, 23, 59, 59).addMSecs(999) << "C" << QByteArray("30JUN26235959");
        // The C library's German names, not Qt's MÄRZ, JULI, SEPT.
        QTest::newRow("German March") << MakeDateValue(2026, 3, 5, 1, 2, 3) << "de_DE" << QByteArray("05M\xc3\x84R26010203");
        // Every English territory (Qt writes SEPT, JUNE, JULY for some) over every month.
        const char *months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
        for (const QLocale &l : QLocale::matchingLocales(QLocale::English, QLocale::AnyScript, QLocale::AnyTerritory))
            for (int m = 1; m <= 12; ++m)
                QTest::addRow("%s %s", qPrintable(l.name()), months[m - 1])
                    << MakeDateValue(2026, m, 5, 22, 2, 52) << l.name() << "05" + QByteArray(months[m - 1]) + "26220252";
    }

    void stamp()
    {
        QFETCH(QDateTime, utc);
        QFETCH(QString, locale);
        QFETCH(QByteArray, stamp);
        QCOMPARE(TimeReply::FormatStamp(utc, QLocale(locale)), stamp);
    }

    // The month follows the date settings as the C library reads them (LC_ALL, else
    // LC_TIME, else LANG), whatever the language of messages says.
    void stampMonthFromDateSettings()
    {
        const char *names[] = {"LC_ALL", "LC_TIME", "LC_MESSAGES", "LANG"};
        const struct
        {
            const char *values[4]; // for names[]; null: unset
            const char *month;
        } rows[] = {{{nullptr, "C.UTF-8", nullptr, "de_DE.UTF-8"}, "DEC"},       {{nullptr, nullptr, "de_DE.UTF-8", "en_US.UTF-8"}, "DEC"},
                    {{nullptr, "de_DE.UTF-8", "en_US.UTF-8", "C.UTF-8"}, "DEZ"}, {{nullptr, nullptr, nullptr, "de_DE.UTF-8"}, "DEZ"},
                    {{"C.UTF-8", "de_DE.UTF-8", nullptr, "de_DE.UTF-8"}, "DEC"}, {{nullptr, nullptr, nullptr, nullptr}, "DEC"}};
        const auto saved = SavedEnvironment({names[0], names[1], names[2], names[3]});
        for (const auto &row : rows) {
            for (int i = 0; i < 4; ++i)
                row.values[i] ? qputenv(names[i], row.values[i]) : qunsetenv(names[i]);
            // What the program's clocks, log and replies are built on.
            const QByteArray stamp = TimeReply::FormatStamp(MakeDateValue(2026, 12, 9, 1, 2, 3), DateText().Locale());
            QCOMPARE(stamp, "09" + QByteArray(row.month) + "26010203");
        }
    }

    // The platform's reading, judged: kernel status bits and maximum errors around 16 s and
    // around an operator's bound of 250 ms, and no reading at all.
    void clockTrustDecision_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<qint64>("maxErrorUs"); // -1: no reading
        QTest::addColumn<bool>("meets250ms");
        QTest::addColumn<QString>("line");
        QTest::newRow("as these machines start") << 0x40 << 16000000LL << false << "the system clock is not synchronised (maximum error 16 s)";
        QTest::newRow("chrony without rtcsync leaves STA_UNSYNC") << 0x40 << 4LL << true << "the system clock is synchronised (maximum error 4 us)";
        QTest::newRow("just below 16 s") << 0 << 15990000LL << false << "the system clock is synchronised (maximum error 15.9 s)";
        QTest::newRow("16 s without STA_UNSYNC; leap second due (STA_DEL)")
            << 0x20 << 16000000LL << false << "the system clock is not synchronised (maximum error 16 s); a leap second is due at midnight UTC";
        QTest::newRow("at the bound") << 0 << 250000LL << true << "the system clock is synchronised (maximum error 250 ms)";
        QTest::newRow("past the bound") << 0 << 250001LL << false << "the system clock is synchronised (maximum error 250 ms)";
        QTest::newRow("leap second due (STA_INS)") << 0x10 << 1500LL << true
                                                   << "the system clock is synchronised (maximum error 1.5 ms); a leap second is due at midnight UTC";
        QTest::newRow("no reading") << 0 << -1LL << false << "whether the system clock is synchronised is unknown";
    }
    void clockTrustDecision()
    {
        QFETCH(int, status);
        QFETCH(qint64, maxErrorUs);
        QFETCH(bool, meets250ms);
        QFETCH(QString, line);
        const ClockReading reading = maxErrorUs < 0 ? ClockReading{} : ClockReading{true, status, maxErrorUs, 7};
        ClockTrust trust([&] { return reading; });
        QVERIFY(trust.Refresh()); // the first read is news
        QCOMPARE(ClockStateLine(trust.Status()), line);
        QCOMPARE(ClockRequirement::FromText(u"250ms")->MetBy(trust.Status()), meets250ms);
    }
};

QTEST_GUILESS_MAIN(tst_Clock)
#include "tst_Clock.moc"
