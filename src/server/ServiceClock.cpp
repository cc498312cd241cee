#include "ServiceClock.h"

#include "ConnectionService.h"

ServiceClock::ServiceClock(const TimeZone &zone, const LocalClock &clock, const DateText &texts,
                           ClockTrust::Reader reader)
    : tick_(zone, clock, texts), trust_(std::move(reader))
{}

void ServiceClock::Serve(ConnectionService &service)
{
    service_ = &service;
    service.SetClock(trust_.Status());
}

ServiceClock::Tick ServiceClock::Run(int daylightValue)
{
    Tick t;
    static_cast<ClockTick::Result &>(t) = tick_.Run(daylightValue);
    t.wasSynchronised = trust_.Status().state == ClockStatus::State::Synchronised;
    t.trustChanged = trust_.Refresh();
    t.refusingChanged = service_ && service_->SetClock(trust_.Status());
    return t;
}
