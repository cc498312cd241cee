#pragma once
#include "DateText.h"
#include "DateValue.h"
#include "LocalClock.h"
#include "TimeZone.h"

#include <QString>
#include <optional>

// One refresh of the window's two clocks, shared by the window and the window-less mode.
// Besides the texts it notices a jump of the local clock by the daylight bias between two
// ticks and follows it with the daylight box: a jump forward checks it, a jump back
// unchecks it. The jump is what the shown local time moved beyond the time that passed
// meanwhile, so a change of the clocks counts whether or not the shown minute also moved
// in that tick (01:59:59 -> 03:00:00 is a jump of one hour, one second after the last).
class ClockTick
{
public:
    struct Result
    {
        QString YourTime;
        QString UTCTime;
        int DaylightValue; // the daylight box's state after the tick
        // The record's daylight offset does not fit in the arithmetic (a forged record):
        // true on the first such tick only, so that its owner says it once. The UTC clock
        // then shows standard time, as the reply answers.
        bool ZoneOverflowBegan = false;
    };

    static constexpr const char *ZoneOverflowText =
        "the time zone's daylight offset does not fit in 32 bits; standard time is served until it does";

    // All three must outlive this object.
    ClockTick(const TimeZone &zone, const LocalClock &clock, const DateText &texts);

    // daylightValue: the box's state before the tick (0, 1 or 2).
    Result Run(int daylightValue);

    // The box's state for a reply made with the zone's record as `now` reads it. Between a
    // change of the clocks and the tick after it, the record already says the new season
    // while the box still says the old: the reply takes what that tick is about to decide
    // (checked into daylight time, unchecked out of it). Otherwise, and after a change of
    // zone, the box as the operator or the last tick left it.
    int DaylightFor(int daylightValue, const TimeZoneRecord &now) const
    {
        if (now.DaylightInForce == seen_.DaylightInForce || now.DaylightBias == 0 || now.Bias != seen_.Bias
            || now.DaylightBias != seen_.DaylightBias)
            return daylightValue;
        return now.DaylightInForce ? 1 : 0;
    }

    // The box's state at start, given the state saved at savedAt. A change between
    // daylight and standard time while the program was not running went unseen by the
    // tick, so when the zone's time in force then and now differ the box does what the
    // tick would have done: checked for a change into daylight time, unchecked for one out
    // of it. Otherwise, or without a time, the operator's saved choice stands.
    static int DaylightAtStart(const TimeZone &zone, int daylightValue, const std::optional<QDateTime> &savedAt);

    DateValue LastDisplayedTime() const { return lastDisplayedTime_; }

    // How long to wait for the next tick: a few milliseconds after the next wall-clock
    // second, so that each tick shows a new second; never less than one millisecond.
    static int MsUntilNextTick();

private:
    // The shown text read back as a date value (the text is always one Format wrote).
    DateValue ReadBack(const QString &shown) const;

    const TimeZone &zone_;
    const LocalClock &clock_;
    const DateText &texts_;
    DateValue lastDisplayedTime_ = ZeroDateValue();
    qint64 lastElapsedMs_ = 0;
    TimeZoneRecord seen_; // read before the local time at the last tick
    bool overflowing_ = false;
};
