#include "DateText.h"

namespace {

// The formats are edited by hand rather than with regular expressions: those alone would
// load PCRE2 and Qt's matcher into every process at start, about 0.5 MiB of resident memory.

// Where the quoted literal that starts at i ends (one past its closing quote), or -1 when
// no quote closes it and the quote is an ordinary character.
qsizetype QuotedEnd(const QString &format, qsizetype i)
{
    const qsizetype close = format.indexOf(u'\'', i + 1);
    return close < 0 ? -1 : close + 1;
}

// What may join a zone name to the rest: ASCII white space and the comma.
bool IsZoneGap(QChar c) { return c == u' ' || c == u',' || (c >= u'\t' && c <= u'\r'); }

// A short date with a two-digit year would read back in the wrong century: "yy" alone
// becomes "yyyy"; one, three or four y's stay.
QString WithFullYear(const QString &format)
{
    QString out;
    for (qsizetype i = 0; i < format.size();) {
        qsizetype end = i;
        while (end < format.size() && format.at(end) == u'y')
            ++end;
        if (end == i) {
            out += format.at(i++);
            continue;
        }
        out += end - i == 2 ? QStringLiteral("yyyy") : format.mid(i, end - i);
        i = end;
    }
    return out;
}

// Long time formats may carry a zone name ("t"); the platform's text has none. The
// separator that joined it goes with it ("h:mm:ss AP, t"), and a bracket around it
// ("(t)"): one space stands for them. Quoted literals are kept.
QString WithoutZone(const QString &format)
{
    QString out;
    const qsizetype n = format.size();
    for (qsizetype i = 0; i < n;) {
        if (format.at(i) == u'\'')
            if (const qsizetype end = QuotedEnd(format, i); end > 0) {
                out += format.mid(i, end - i);
                i = end;
                continue;
            }
        qsizetype k = i;
        while (k < n && IsZoneGap(format.at(k)))
            ++k;
        if (k + 1 < n && (format.at(k) == u'(' || format.at(k) == u'[') && format.at(k + 1) == u't')
            ++k;
        if (k < n && format.at(k) == u't') {
            while (k < n && format.at(k) == u't')
                ++k;
            if (k < n && (format.at(k) == u')' || format.at(k) == u']'))
                ++k;
            while (k < n && IsZoneGap(format.at(k)))
                ++k;
            out += u' ';
            i = k;
            continue;
        }
        out += format.at(i++);
    }
    return out.trimmed();
}

// Qt 6.4's parser reads past the end of its text on an AM/PM word when the locale's two
// words differ in length (Ewe, Kabyle, Nama, Tongan). Such a locale never parses its own
// texts: it shows C's AM/PM, as the locales whose texts do not read back.
bool ParsesSafely(const QLocale &locale, const QString &timeFormat)
{
    QString unquoted;
    for (qsizetype i = 0; i < timeFormat.size();) {
        if (timeFormat.at(i) == u'\'')
            if (const qsizetype end = QuotedEnd(timeFormat, i); end > 0) {
                i = end;
                continue;
            }
        unquoted += timeFormat.at(i++);
    }
    return !unquoted.contains(u'a', Qt::CaseInsensitive) || locale.amText().size() == locale.pmText().size();
}

// Sample times that every shown text must read back: both halves of the day, single
// digits, noon and the first second of a day.
bool ReadsBack(const QLocale &locale, const QString &dateFormat, const QString &timeFormat)
{
    const QString both = dateFormat + QLatin1Char(' ') + timeFormat;
    for (const QDateTime &v : {QDateTime(QDate(2026, 12, 25), QTime(22, 52, 37), Qt::UTC),
                               QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5), Qt::UTC),
                               QDateTime(QDate(2026, 6, 30), QTime(12, 0, 0), Qt::UTC),
                               QDateTime(QDate(2026, 3, 1), QTime(0, 0, 1), Qt::UTC)}) {
        const QDateTime back = locale.toDateTime(locale.toString(v, both), both);
        if (back.date() != v.date() || back.time() != v.time()
            || locale.toDate(locale.toString(v.date(), dateFormat), dateFormat) != v.date())
            return false;
    }
    return true;
}

} // namespace

DateText::DateText(const QLocale &locale)
    : locale_(locale), textLocale_(locale), dateFormat_(WithFullYear(locale.dateFormat(QLocale::ShortFormat))),
      timeFormat_(WithoutZone(locale.timeFormat(QLocale::LongFormat)))
{
    // Some locales write texts that Qt cannot read back (digits outside the Basic
    // Multilingual Plane, day-period words it does not match). Their layout with C's
    // digits and AM/PM usually can; an ISO form always can.
    if (ParsesSafely(textLocale_, timeFormat_) && ReadsBack(textLocale_, dateFormat_, timeFormat_))
        return;
    textLocale_ = QLocale::c();
    if (ReadsBack(textLocale_, dateFormat_, timeFormat_))
        return;
    dateFormat_ = QStringLiteral("yyyy-MM-dd");
    timeFormat_ = QStringLiteral("HH:mm:ss");
}

QString DateText::Format(const DateValue &v) const
{
    if (v.time() == QTime(0, 0))
        return textLocale_.toString(v.date(), dateFormat_);
    return textLocale_.toString(v.date(), dateFormat_) + QLatin1Char(' ') + textLocale_.toString(v.time(), timeFormat_);
}

QString DateText::FormatTime(const DateValue &v) const { return textLocale_.toString(v.time(), timeFormat_); }

std::optional<DateValue> DateText::Parse(const QString &text) const
{
    QDateTime dt = textLocale_.toDateTime(text, dateFormat_ + QLatin1Char(' ') + timeFormat_);
    if (!dt.isValid()) {
        const QDate d = textLocale_.toDate(text, dateFormat_);
        if (!d.isValid())
            return std::nullopt;
        return DateValue(d, QTime(0, 0), Qt::UTC);
    }
    return DateValue(dt.date(), dt.time(), Qt::UTC);
}
