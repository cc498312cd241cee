// Reading numbers from texts, rounding them, and writing them back for the settings file.
#include "FormatNumber.h"
#include "ParseNumber.h"
#include "Rounding.h"

#include <QLocale>
#include <QTest>

#include <cmath>
#include <limits>

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();

// Exact comparison: a fuzzy one would hide a wrongly rounded conversion.
bool same(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}
} // namespace

class tst_NumberText : public QObject
{
    Q_OBJECT

private slots:
    void parseNumber_data();
    void parseNumber();
    void parseNumberLongTexts();
    void roundHalfEven_data();
    void roundHalfEven();
    void formatNumber_data();
    void formatNumber();
    void formatThenParseKeepsTheValue_data();
    void formatThenParseKeepsTheValue();
};

void tst_NumberText::parseNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("plain") << "1610" << 1610.0;
    QTest::newRow("blanks around") << " 1610 " << 1610.0;
    QTest::newRow("blank between digits") << "16 10" << 1610.0;
    QTest::newRow("letters after") << "1610abc" << 1610.0;
    QTest::newRow("fraction") << "1610.5" << 1610.5;
    QTest::newRow("hex") << "&H1F" << 31.0;
    QTest::newRow("hex lower case") << "&h1f" << 31.0;
    QTest::newRow("octal lower case") << "&o17" << 15.0;
    QTest::newRow("octal stops at 8") << "&O178" << 15.0;
    QTest::newRow("hex with blanks inside") << "& H 1 F" << 31.0;
    QTest::newRow("ampersand without base") << "&17" << 0.0;
    QTest::newRow("hex without digits") << "&Hg" << 0.0;
    QTest::newRow("sign before hex is no number") << "-&H10" << 0.0;
    QTest::newRow("negative exponent form") << "-3e2" << -300.0;
    QTest::newRow("capital exponent") << "2.5E-1" << 0.25;
    QTest::newRow("exponent with plus") << "1e+3x" << 1000.0;
    QTest::newRow("E without digits") << "1e" << 1.0;
    QTest::newRow("E and sign without digits") << "7E+" << 7.0;
    QTest::newRow("E then letters") << "7Ex5" << 7.0;
    QTest::newRow("sign alone") << "+" << 0.0;
    QTest::newRow("two signs") << "--5" << 0.0;
    QTest::newRow("sign then blank") << "- 5" << -5.0;
    QTest::newRow("leading point") << ".5" << 0.5;
    QTest::newRow("trailing point") << "5." << 5.0;
    QTest::newRow("point alone") << "." << 0.0;
    QTest::newRow("second point ends") << "1.2.3" << 1.2;
    QTest::newRow("comma is no decimal point") << "1,5" << 1.0;
    QTest::newRow("currency sign") << "$5" << 0.0;
    QTest::newRow("C hex prefix") << "0x1F" << 0.0;
    QTest::newRow("word") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("tab and line feed") << "\t\n7" << 7.0;
    QTest::newRow("carriage return is not skipped") << "1\r2" << 1.0;
    QTest::newRow("non-ASCII digit") << QString::fromUtf8("\u0663") << 0.0;
    QTest::newRow("correctly rounded 0.1") << "0.1" << 0.1;
    QTest::newRow("tie to even beyond 2^53") << "9007199254740993" << 9007199254740992.0;
    QTest::newRow("leading zeros and exponent") << "000.000001e6" << 1.0;
    QTest::newRow("largest") << "1.7976931348623157e308" << std::numeric_limits<double>::max();
    QTest::newRow("overflow") << "1e999" << kInf;
    QTest::newRow("negative overflow") << "-1e999" << -kInf;
    QTest::newRow("huge exponent") << "1e99999999999999999999" << kInf;
    QTest::newRow("underflow") << "1e-999" << 0.0;
    QTest::newRow("zero with huge exponent") << "0e999999" << 0.0;
    QTest::newRow("smallest subnormal") << "5e-324" << std::numeric_limits<double>::denorm_min();
}

void tst_NumberText::parseNumber()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    const double actual = ParseNumber(text);
    QVERIFY2(same(actual, expected),
             qPrintable(QStringLiteral("got %1, expected %2").arg(actual, 0, 'g', 17).arg(expected, 0, 'g', 17)));
}

void tst_NumberText::parseNumberLongTexts()
{
    // Long runs must neither take quadratic time nor lose the value.
    QCOMPARE(ParseNumber(QString(200000, u'0') + QStringLiteral("1610")), 1610.0);
    QCOMPARE(ParseNumber(QStringLiteral("0.") + QString(400, u'0') + QStringLiteral("1e401")), 1.0);
    QCOMPARE(ParseNumber(QStringLiteral("1") + QString(400, u'0')), kInf);
    QCOMPARE(ParseNumber(QStringLiteral("&H") + QString(300, u'F')), kInf);
    QCOMPARE(ParseNumber(QString(100000, u' ') + QStringLiteral("7")), 7.0);
}

void tst_NumberText::roundHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("0.5") << 0.5 << true << qint64(0);
    QTest::newRow("1.5") << 1.5 << true << qint64(2);
    QTest::newRow("2.5") << 2.5 << true << qint64(2);
    QTest::newRow("-0.5") << -0.5 << true << qint64(0);
    QTest::newRow("-1.5") << -1.5 << true << qint64(-2);
    QTest::newRow("-2.5") << -2.5 << true << qint64(-2);
    QTest::newRow("just below a half") << 0.49999999999999994 << true << qint64(0);
    QTest::newRow("port 1610.5") << 1610.5 << true << qint64(1610);
    QTest::newRow("port 1611.5") << 1611.5 << true << qint64(1612);
    QTest::newRow("2.6") << 2.6 << true << qint64(3);
    QTest::newRow("-2.6") << -2.6 << true << qint64(-3);
    QTest::newRow("odd beyond 2^52") << 4503599627370497.0 << true << qint64(4503599627370497);
    QTest::newRow("largest below 2^63") << 9223372036854774784.0 << true << qint64(9223372036854774784);
    QTest::newRow("-2^63") << -9223372036854775808.0 << true << std::numeric_limits<qint64>::min();
    QTest::newRow("2^63") << 9223372036854775808.0 << false << qint64(0);
    QTest::newRow("1e300") << 1e300 << false << qint64(0);
    QTest::newRow("infinity") << kInf << false << qint64(0);
    QTest::newRow("minus infinity") << -kInf << false << qint64(0);
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << false << qint64(0);
}

void tst_NumberText::roundHalfEven()
{
    QFETCH(double, value);
    QFETCH(bool, valid);
    QFETCH(qint64, expected);
    const std::optional<qint64> rounded = RoundHalfEven(value);
    QCOMPARE(rounded.has_value(), valid);
    if (valid)
        QCOMPARE(*rounded, expected);
}

void tst_NumberText::formatNumber_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("port") << 1610.0 << "1610";
    QTest::newRow("fraction") << 1610.5 << "1610.5";
    QTest::newRow("negative") << -300.0 << "-300";
    QTest::newRow("binary noise rounded away") << 0.1 + 0.2 << "0.3";
    QTest::newRow("a third") << 1.0 / 3.0 << "0.333333333333333";
    QTest::newRow("1e20 without exponent") << 1e20 << "100000000000000000000";
    QTest::newRow("1e-7 without exponent") << 1e-7 << "0.0000001";
    QTest::newRow("16 digits rounded to 15") << 1234567890123456.0 << "1234567890123460";
    QTest::newRow("rounding carries") << 999999999999999.9 << "1000000000000000";
    QTest::newRow("infinity") << kInf << "1E+999";
    QTest::newRow("minus infinity") << -kInf << "-1E+999";
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << "0";
}

void tst_NumberText::formatNumber()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(FormatNumber(value), expected);
    // The decimal point never follows the user's locale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(FormatNumber(value), expected);
    QLocale::setDefault(QLocale::c());
}

void tst_NumberText::formatThenParseKeepsTheValue_data()
{
    QTest::addColumn<double>("value");
    QTest::newRow("port") << 1610.0;
    QTest::newRow("fraction") << 1610.25;
    QTest::newRow("tiny") << 1.5e-300;
    QTest::newRow("subnormal") << 4.9e-324;
    QTest::newRow("huge") << 1.25e300;
    QTest::newRow("largest") << std::numeric_limits<double>::max();
    QTest::newRow("negative") << -65536.5;
    QTest::newRow("infinity") << kInf;
}

void tst_NumberText::formatThenParseKeepsTheValue()
{
    QFETCH(double, value);
    // Written once, a value is at 15 digits; from then on a save and a load keep it exactly.
    const QString first = FormatNumber(value);
    const double reread = ParseNumber(first);
    QCOMPARE(FormatNumber(reread), first);
    QVERIFY(same(ParseNumber(FormatNumber(reread)), reread));
    if (std::isfinite(value))
        QVERIFY(std::fabs(reread - value) <= std::fabs(value) * 1e-14);
    else
        QVERIFY(same(reread, value));
}

QTEST_GUILESS_MAIN(tst_NumberText)
#include "tst_NumberText.moc"
