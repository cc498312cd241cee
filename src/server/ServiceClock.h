#pragma once
#include "ClockTick.h"
#include "ClockTrust.h"

class ConnectionService;

// The clock both programs run beside their service, on a tick a few milliseconds after
// each wall-clock second: the two clocks' texts, the daylight option following a change
// of the clocks (the service's replies take it from this tick), and the clock's trust,
// read on the tick and handed to the service's clock rule. The owner keeps the timer and
// the daylight option, and tells the operator what changed in its own way.
class ServiceClock
{
public:
    struct Tick : ClockTick::Result
    {
        bool trustChanged = false;    // unknown, synchronised or not: since the last tick
        bool refusingChanged = false; // the service began or ended refusing for the clock
        bool wasSynchronised = false; // before this tick
    };

    // zone, clock and texts must outlive this object.
    ServiceClock(const TimeZone &zone, const LocalClock &clock, const DateText &texts,
                 ClockTrust::Reader reader = ReadSystemClock);

    // The service whose clock rule this trust meets; it is handed the trust as last read.
    void Serve(ConnectionService &service);
    // daylightValue: the daylight option before the tick.
    Tick Run(int daylightValue);

    const ClockTick &Ticker() const { return tick_; }
    const ClockTrust &Trust() const { return trust_; }

private:
    ClockTick tick_;
    ClockTrust trust_;
    ConnectionService *service_ = nullptr;
};
