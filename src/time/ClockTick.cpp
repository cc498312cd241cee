#include "ClockTick.h"

#include <QDateTime>

namespace {

// The shown times are whole seconds, so the measured jump is off by less than one; a
// change of the clocks is a whole number of minutes.
constexpr qint64 JumpToleranceSecs = 2;
constexpr int TickLateByMs = 3;

} // namespace

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
    // Asked before the clock: a change between the two is then seen as a jump by this
    // tick, and as a change not yet followed by the replies until it.
    seen_ = zone_.Record();
    r.YourTime = texts_.Format(clock_.Now());

    const DateValue shown = ReadBack(r.YourTime);
    const qint64 elapsedMs = clock_.ElapsedMs();
    // The step back from the last shown time to this one, less the time that passed: an
    // ordinary tick steps 0, the clock set forward by an hour -3600 seconds.
    const qint64 stepSecs = shown.secsTo(lastDisplayedTime_) + (elapsedMs - lastElapsedMs_ + 500) / 1000;
    const auto stepIs = [stepSecs](qint64 minutes) { return qAbs(stepSecs - minutes * 60) <= JumpToleranceSecs; };
    // Each check asks the zone afresh, so a zone changed between them counts for the second.
    if (stepIs(zone_.GetDaylightBias()))
        daylightValue = 1;
    if (stepIs(-qint64(zone_.GetDaylightBias())))
        daylightValue = 0;

    lastDisplayedTime_ = shown;
    lastElapsedMs_ = elapsedMs;

    DateValue utc;
    bool overflow = false;
    try {
        utc = daylightValue == 0 ? zone_.GetUTCNow() : zone_.GetUTCNowDaylight();
    } catch (const TimeZoneOverflow &) {
        // Ending the program for a record no installed zone gives would stop the service.
        overflow = true;
        utc = zone_.GetUTCNow();
    }
    r.ZoneOverflowBegan = overflow && !overflowing_;
    overflowing_ = overflow;
    r.UTCTime = texts_.Format(utc);
    r.DaylightValue = daylightValue;
    return r;
}

int ClockTick::MsUntilNextTick() { return 1000 - int(QDateTime::currentMSecsSinceEpoch() % 1000) + TickLateByMs; }
