#pragma once
#include "LocalClock.h"
#include "TimeZone.h"
#include "TimeZoneRecord.h"

// A clock the test sets by hand, for jumps the real clock cannot be made to do.
class FakeLocalClock : public LocalClock
{
public:
    DateValue now = MakeDateValue(2026, 12, 5, 22, 2, 52);
    qint64 elapsedMs = 0;
    DateValue Now() const override { return now; }
    qint64 ElapsedMs() const override { return elapsedMs; }
};

// A fixed zone record, for records no installed zone gives.
class FakeTimeZoneSource : public TimeZoneSource
{
public:
    TimeZoneRecord record;
    bool daylightThen = false; // at any instant asked about
    TimeZoneRecord Query() const override { return record; }
    bool DaylightInForceAt(qint64) const override { return daylightThen; }
};

struct FakeTime
{
    FakeTimeZoneSource source;
    FakeLocalClock clock;
    TimeZone zone{source, clock};

    explicit FakeTime(const DateValue &now = MakeDateValue(2026, 12, 5, 22, 2, 52), TimeZoneRecord record = {})
    {
        clock.now = now;
        source.record = record;
    }
};
