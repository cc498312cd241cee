#include "ClockTick.h"

ClockTick::ClockTick(const TimeZone &zone, const LocalClock &clock, const DateText &texts)
    : zone_(zone), clock_(clock), texts_(texts)
{}

DateValue ClockTick::ReadBack(const QString &shown) const { return texts_.Parse(shown).value_or(ZeroDateValue()); }

int ClockTick::DaylightAtStart(const TimeZone &zone, int daylightValue, const std::optional<QDateTime> &savedAt)
{
    if (!savedAt || zone.GetDaylightBias() == 0)
        return daylightValue;
    const bool now = zone.DaylightInForce();
    return zone.DaylightInForceAt(*savedAt) == now ? daylightValue : int(now);
}

ClockTick::Result ClockTick::Run(int daylightValue)
{
    Result r;
    r.YourTime = texts_.Format(clock_.Now());

    // Minute steps count minute boundaries: 10:00:59 to 10:01:00 is one step.
    const DateValue shown = ReadBack(r.YourTime);
    const qint64 step = WholeMinutes(lastDisplayedTime_) - WholeMinutes(shown);
    // Each check asks the zone afresh, so a zone changed between them counts for the second.
    if (zone_.GetDaylightBias() == step)
        daylightValue = 1;
    if (-qint64(zone_.GetDaylightBias()) == step)
        daylightValue = 0;

    lastDisplayedTime_ = shown;

    const DateValue utc = daylightValue == 0 ? zone_.GetUTCNow() : zone_.GetUTCNowDaylight();
    r.UTCTime = texts_.Format(utc);
    r.DaylightValue = daylightValue;
    return r;
}
