#include "TimeReply.h"

#include "StampMonth.h"

namespace {

void AppendTwoDigits(QByteArray &out, int n)
{
    out.append(char('0' + n / 10));
    out.append(char('0' + n % 10));
}

} // namespace

TimeReply::TimeReply(const TimeZone &zone, const QLocale &locale) : zone_(zone), locale_(locale) {}

QByteArray TimeReply::Answer(const QByteArray &request, int chkDaylightSavingsValue, const ClockTick *follow) const
{
    const QByteArray stamp = Stamp(chkDaylightSavingsValue, follow);
    QByteArray reply;
    reply.reserve(request.size() + 1 + stamp.size());
    reply.append(request);
    reply.append(':');
    reply.append(stamp);
    return reply;
}

QByteArray TimeReply::Stamp(int chkDaylightSavingsValue, const ClockTick *follow) const
{
    const TimeZone::Reading now = zone_.Read();
    if (follow)
        chkDaylightSavingsValue = follow->DaylightFor(chkDaylightSavingsValue, now.record);
    if (chkDaylightSavingsValue == 0)
        return TextFor(TimeZone::AddBias(now.local, now.record), standard_);
    try {
        return TextFor(TimeZone::AddDaylightBias(now.local, now.record), daylight_);
    } catch (const TimeZoneOverflow &) {
        // Only a forged zone record can get here. An exception escaping a socket event
        // would end the program, so the client is answered with the standard-time UTC.
        return TextFor(TimeZone::AddBias(now.local, now.record), standard_);
    }
}

QByteArray TimeReply::TextFor(const DateValue &utc, Kept &kept) const
{
    if (!utc.isValid())
        return FormatStamp(utc, locale_);
    const qint64 second = utc.toSecsSinceEpoch();
    if (kept.text.isEmpty() || kept.utcSecond != second) {
        kept.text = FormatStamp(utc, locale_);
        kept.utcSecond = second;
    }
    return kept.text;
}

QByteArray TimeReply::FormatStamp(const DateValue &utc, const QLocale &locale)
{
    const QDate d = utc.date();
    const QTime t = utc.time();
    QByteArray out;
    out.reserve(16);
    AppendTwoDigits(out, d.day());
    out.append(StampMonth::Abbreviation(d.month(), locale).toUtf8());
    AppendTwoDigits(out, ((d.year() % 100) + 100) % 100);
    AppendTwoDigits(out, t.hour());
    AppendTwoDigits(out, t.minute());
    AppendTwoDigits(out, t.second());
    return out;
}
