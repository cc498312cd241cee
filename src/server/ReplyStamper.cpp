#include "ReplyStamper.h"

#include "ReplyStamp.h"

ReplyStamper::ReplyStamper(const TimeZone &zone, const QLocale &locale)
    : zone_(zone), locale_(locale)
{
}

QByteArray ReplyStamper::Stamp(int chkDaylightSavingsValue) const
{
    if (chkDaylightSavingsValue == 0)
        return TextFor(zone_.GetUTCNow(), standard_);
    try {
        return TextFor(zone_.GetUTCNowDaylight(), daylight_);
    } catch (const TimeZoneOverflow &) {
        // Only a forged zone record can get here. An exception escaping a socket event
        // would end the program, so the client is answered with the standard-time UTC.
        return TextFor(zone_.GetUTCNow(), standard_);
    }
}

QByteArray ReplyStamper::TextFor(const DateValue &utc, Kept &kept) const
{
    if (!utc.isValid())
        return ReplyStamp::Format(utc, locale_);
    const qint64 second = utc.toSecsSinceEpoch();
    if (kept.text.isEmpty() || kept.utcSecond != second) {
        kept.text = ReplyStamp::Format(utc, locale_);
        kept.utcSecond = second;
    }
    return kept.text;
}
