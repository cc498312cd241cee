#pragma once
#include <QtGlobal>

// The two fields of the platform's zone record the program uses, with the meaning
// UTC = local + Bias (+ DaylightBias) minutes.
struct TimeZoneRecord
{
    qint32 Bias = 0;
    qint32 DaylightBias = 0;
    // Whether the zone's daylight time is in force at the moment of the query.
    bool DaylightInForce = false;
};

// Where zone records come from: the system, or a test's fixed record.
class TimeZoneSource
{
public:
    virtual ~TimeZoneSource() = default;
    // A fresh record on every call; zeros when the system cannot be asked.
    virtual TimeZoneRecord Query() const = 0;
    // Whether the zone's daylight time was, or will be, in force at that instant, by the
    // zone's rules as they stand now.
    virtual bool DaylightInForceAt(qint64 secsSinceEpoch) const = 0;
};

// The system's current zone, asked afresh at every call (TZ and /etc/localtime honoured).
class SystemTimeZoneSource : public TimeZoneSource
{
public:
    TimeZoneRecord Query() const override;
    bool DaylightInForceAt(qint64 secsSinceEpoch) const override;
};
