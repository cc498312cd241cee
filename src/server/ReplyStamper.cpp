#include "ReplyStamper.h"

#include "ReplyStamp.h"

ReplyStamper::ReplyStamper(TimeZone &zone, const QLocale &locale)
    : zone_(zone), locale_(locale)
{
}

QByteArray ReplyStamper::Stamp(int chkDaylightSavingsValue) const
{
    if (chkDaylightSavingsValue == 0)
        return ReplyStamp::Format(zone_.GetUTCNow(), locale_);
    try {
        return ReplyStamp::Format(zone_.GetUTCNowDaylight(), locale_);
    } catch (const TimeZoneOverflow &) {
        // Only a forged zone record can get here. An exception escaping a socket event
        // would end the program, so the client is answered with the standard-time UTC.
        return ReplyStamp::Format(zone_.GetUTCNow(), locale_);
    }
}
