#pragma once
#include "DateValue.h"
#include "LocalClock.h"
#include "TimeZoneRecord.h"

#include <stdexcept>

// Raised by GetUTCNowDaylight when Bias + DaylightBias does not fit in 32 bits.
class TimeZoneOverflow : public std::overflow_error
{
public:
    TimeZoneOverflow() : std::overflow_error("Bias + DaylightBias overflows a 32-bit integer") {}
};

// Local wall clock to UTC with the zone record, asked afresh at every call. Whether the
// daylight offset applies is the caller's choice of function, never the calendar's.
class TimeZone
{
public:
    // The system's zone and clock.
    TimeZone();
    // Seams for tests; both must outlive this object.
    TimeZone(const TimeZoneSource &source, const LocalClock &clock);

    // The record and the local time of one and the same second, for a caller that
    // decides by the record which function applies.
    struct Reading
    {
        TimeZoneRecord record;
        DateValue local;
    };
    Reading Read() const;
    TimeZoneRecord Record() const { return source_.Query(); }

    DateValue GetUTCNow() const;
    DateValue GetUTCNowDaylight() const;
    qint32 GetDaylightBias() const;
    bool DaylightInForce() const;
    bool DaylightInForceAt(const QDateTime &instant) const;

    // The arithmetic alone, for a record and a local time already at hand.
    static DateValue AddBias(const DateValue &local, const TimeZoneRecord &r);
    static DateValue AddDaylightBias(const DateValue &local, const TimeZoneRecord &r);

private:
    // Read for the system's zone and clock: at once where the platform's file keeps both,
    // else as for any other pair.
    static Reading ReadSystem();
    static Reading ReadTwice(const TimeZoneSource &source, const LocalClock &clock);

    const TimeZoneSource &source_;
    const LocalClock &clock_;
    const bool system_ = false;
};
