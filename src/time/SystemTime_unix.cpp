#include "LocalClock.h"
#include "TimeZoneRecord.h"

#include <ctime>

namespace {

// UTC offset in minutes east of Greenwich at the given instant, or false.
bool OffsetAt(time_t t, long &minutesEast)
{
    struct tm lt;
    if (!localtime_r(&t, &lt))
        return false;
    minutesEast = lt.tm_gmtoff / 60;
    return true;
}

} // namespace

TimeZoneRecord SystemTimeZoneSource::Query() const
{
    tzset(); // re-reads TZ and /etc/localtime, so a change of zone shows at once

    // The zone's standard offset is the smallest offset it uses in the year, its
    // daylight amount the difference to the largest. This reads Europe/Dublin (whose
    // tz data calls winter the "daylight" time) like Windows does: Bias 0, DaylightBias -60.
    const time_t now = time(nullptr);
    struct tm nowTm;
    if (!localtime_r(&now, &nowTm))
        return {};
    long lowest = 0, highest = 0;
    if (!OffsetAt(now, lowest))
        return {};
    highest = lowest;
    for (int month = 0; month < 12; month += 3) {
        struct tm probe = {};
        probe.tm_year = nowTm.tm_year;
        probe.tm_mon = month;
        probe.tm_mday = 1;
        probe.tm_hour = 12;
        const time_t t = timegm(&probe);
        long east = 0;
        if (!OffsetAt(t, east))
            return {};
        lowest = std::min(lowest, east);
        highest = std::max(highest, east);
    }
    TimeZoneRecord r;
    r.Bias = static_cast<qint32>(-lowest);
    r.DaylightBias = static_cast<qint32>(-(highest - lowest));
    return r;
}

DateValue SystemLocalClock::Now() const
{
    tzset();
    // Not time(): it reads the coarse clock, which can lag the second's start by a few
    // milliseconds, and the clock tick comes just after the second begins.
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const time_t now = ts.tv_sec;
    struct tm lt;
    if (!localtime_r(&now, &lt))
        return DateValue::fromSecsSinceEpoch(now, Qt::UTC);
    return MakeDateValue(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min,
                         std::min(lt.tm_sec, 59));
}
