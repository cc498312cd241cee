#include "DateText.h"

#include <QRegularExpression>

namespace {

// A short date with a two-digit year would read back in the wrong century.
QString WithFullYear(QString format)
{
    static const QRegularExpression shortYear(QStringLiteral("(?<!y)yy(?!y)"));
    return format.replace(shortYear, QStringLiteral("yyyy"));
}

// Long time formats may carry a zone name ("t"); the platform's text has none.
QString WithoutZone(QString format)
{
    static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
    format.replace(zone, QStringLiteral(" "));
    return format.trimmed();
}

} // namespace

DateText::DateText(const QLocale &locale)
    : locale_(locale),
      dateFormat_(WithFullYear(locale.dateFormat(QLocale::ShortFormat))),
      timeFormat_(WithoutZone(locale.timeFormat(QLocale::LongFormat)))
{
}

QString DateText::Format(const DateValue &v) const
{
    if (v.time() == QTime(0, 0))
        return locale_.toString(v.date(), dateFormat_);
    return locale_.toString(v.date(), dateFormat_) + QLatin1Char(' ')
        + locale_.toString(v.time(), timeFormat_);
}

QString DateText::FormatTime(const DateValue &v) const
{
    return locale_.toString(v.time(), timeFormat_);
}

std::optional<DateValue> DateText::Parse(const QString &text) const
{
    QDateTime dt = locale_.toDateTime(text, dateFormat_ + QLatin1Char(' ') + timeFormat_);
    if (!dt.isValid()) {
        const QDate d = locale_.toDate(text, dateFormat_);
        if (!d.isValid())
            return std::nullopt;
        return DateValue(d, QTime(0, 0), Qt::UTC);
    }
    return DateValue(dt.date(), dt.time(), Qt::UTC);
}
