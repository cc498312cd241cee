#include "TimeZone.h"

#include <limits>

namespace {
const SystemTimeZoneSource systemSource;
const SystemLocalClock systemClock;
} // namespace

TimeZone::TimeZone() : source_(systemSource), clock_(systemClock), system_(true) {}

TimeZone::TimeZone(const TimeZoneSource &source, const LocalClock &clock) : source_(source), clock_(clock) {}

DateValue TimeZone::AddBias(const DateValue &local, const TimeZoneRecord &r)
{
    return local.addSecs(qint64(r.Bias) * 60);
}

DateValue TimeZone::AddDaylightBias(const DateValue &local, const TimeZoneRecord &r)
{
    const qint64 minutes = qint64(r.DaylightBias) + r.Bias;
    if (minutes > std::numeric_limits<qint32>::max() || minutes < std::numeric_limits<qint32>::min())
        throw TimeZoneOverflow();
    return local.addSecs(minutes * 60);
}

// The record is always asked before the clock is read, so both belong to the same call.
// A change of the clocks between the two reads would pair the old season's record with the
// new season's local time, an hour off; asking the record again tells, and the pair is
// then read again on the new side.
TimeZone::Reading TimeZone::Read() const { return system_ ? ReadSystem() : ReadTwice(source_, clock_); }

TimeZone::Reading TimeZone::ReadTwice(const TimeZoneSource &source, const LocalClock &clock)
{
    Reading r{source.Query(), clock.Now()};
    const TimeZoneRecord after = source.Query();
    if (after.DaylightInForce != r.record.DaylightInForce || after.Bias != r.record.Bias) {
        r.record = after;
        r.local = clock.Now();
    }
    return r;
}

DateValue TimeZone::GetUTCNow() const
{
    const TimeZoneRecord r = source_.Query();
    return AddBias(clock_.Now(), r);
}

DateValue TimeZone::GetUTCNowDaylight() const
{
    const TimeZoneRecord r = source_.Query();
    return AddDaylightBias(clock_.Now(), r);
}

qint32 TimeZone::GetDaylightBias() const { return source_.Query().DaylightBias; }

bool TimeZone::DaylightInForce() const { return source_.Query().DaylightInForce; }

bool TimeZone::DaylightInForceAt(const QDateTime &instant) const
{
    return source_.DaylightInForceAt(instant.toSecsSinceEpoch());
}
