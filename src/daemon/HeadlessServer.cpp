#include "HeadlessServer.h"

#include "SystemLog.h"

#include <cstdio>

namespace {

void Say(const QString &line)
{
    std::fprintf(stderr, "tallix-server: %s\n", qPrintable(line));
    std::fflush(stderr);
    CopyToSystemLog(line);
}

} // namespace

HeadlessServer::HeadlessServer(const FileLocations &files, QObject *parent)
    : QObject(parent), files_(files), zone_(), clock_(), texts_(), serviceClock_(zone_, clock_, texts_),
      service_(zone_, clock_, texts_,
               {[this] { return daylight_; }, [this] { return settings_.LogIPs; },
                [this] { return files_.settingsFolder; }, [this] { return files_.dataFolder; },
                &serviceClock_.Ticker()},
               this)
{
    serviceClock_.Serve(service_);
    // A full disk or a read-only home must not go unnoticed; once, not at every connection.
    connect(&service_, &ConnectionService::LogFailureChanged, this,
            [this](const QString &failure) { Say(ConnectionService::LogFailureText(files_.dataFolder, failure)); });
    // One tick a few milliseconds after each wall-clock second, as the window's clock.
    ticker_.setSingleShot(true);
    ticker_.setTimerType(Qt::PreciseTimer);
    connect(&ticker_, &QTimer::timeout, this, &HeadlessServer::Tick);
}

bool HeadlessServer::Start(const HandedSockets &handed, const std::optional<ListenAddress> &metrics)
{
    const SettingsReading reading = LoadSettings(files_.SettingsFile(), settings_);
    for (const QString &note : reading.Notes)
        Say(QStringLiteral("Server.ini %1").arg(note));
    daylight_ = ClockTick::DaylightAtStart(zone_, settings_.DaylightSavings, reading.DaylightSavedAt);
    Tick();
    // Before the time service, so that no start is announced that then fails.
    if (metrics) {
        metrics_ = std::make_unique<MetricsEndpoint>([this] { return MetricsSnapshot::Of(service_); },
                                                     MetricsEndpoint::Limits{}, this);
        if (!metrics_->Listen(*metrics)) {
            Say(QStringLiteral("metrics: cannot listen on %1: %2").arg(metrics->Text(), metrics_->ErrorText()));
            return false;
        }
    }
    service_.ResetForStart(0, 0);
    if (!Listen(handed))
        return false;
    SayIgnoredRuleLines();
    if (handed.handed)
        Say(QStringLiteral("listening on %1 from the service manager; port \"%2\" in Server.ini not used")
                .arg(handed.addresses.join(QStringLiteral(", ")), settings_.Port));
    else
        Say(QStringLiteral("listening on port %1 (%2)")
                .arg(service_.socServer().LocalPort())
                .arg(service_.socServer().DualStack() ? QStringLiteral("IPv6 and IPv4") : QStringLiteral("IPv4 only")));
    SayClock(false);
    clockSaid_ = true;
    if (metrics)
        Say(QStringLiteral("metrics on http://%1/metrics and /ready").arg(metrics->Text()));
    return true;
}

bool HeadlessServer::Listen(const HandedSockets &handed)
{
    for (const QString &line : handed.refused)
        Say(line);
    if (!handed.handed) {
        if (service_.Listen(ConnectionService::PortFromText(settings_.Port)))
            return true;
        Say(QStringLiteral("Invalid TCP port number or port in use. (port \"%1\" in %2)")
                .arg(settings_.Port, files_.SettingsFile()));
        return false;
    }
    if (service_.ListenOn(handed.listeners))
        return true;
    Say(handed.listeners.empty() ? QStringLiteral("no listening TCP socket among those the service manager passed")
                                 : QStringLiteral("cannot listen on the sockets the service manager passed"));
    return false;
}

void HeadlessServer::SayIgnoredRuleLines()
{
    for (const QString &line : service_.IgnoredRuleLines())
        Say(QStringLiteral("%1 ignored, %2").arg(QLatin1String(ConnectionService::AccessFileName), line));
}

void HeadlessServer::ReloadAccessRules()
{
    if (stopped_)
        return;
    service_.ReloadRules();
    Say(QStringLiteral("%1 read again").arg(QLatin1String(ConnectionService::AccessFileName)));
    SayIgnoredRuleLines();
}

void HeadlessServer::Stop()
{
    stopped_ = true;
    ticker_.stop();
    service_.Stop();
    Say(QStringLiteral("stopped"));
}

void HeadlessServer::Tick()
{
    const ServiceClock::Tick r = serviceClock_.Run(daylight_);
    daylight_ = r.DaylightValue;
    if (r.ZoneOverflowBegan)
        Say(QLatin1String(ClockTick::ZoneOverflowText));
    if (clockSaid_ && (r.trustChanged || r.refusingChanged))
        SayClock(r.trustChanged && !r.wasSynchronised);
    ticker_.start(ClockTick::MsUntilNextTick());
}

void HeadlessServer::SayClock(bool again) const
{
    Say(ClockStateLine(serviceClock_.Trust().Status(), again, service_.UnmetClockRule()));
}

void HeadlessServer::ReportStatus() const
{
    const ConnectionCounters &c = service_.Counters();
    Say(QStringLiteral("connections %1 since launch, %2 since start; most at once %3 since launch, "
                       "%4 since start")
            .arg(c.SinceLaunch())
            .arg(c.SinceStart())
            .arg(c.MaxSimSinceLaunch())
            .arg(c.MaxSimSinceStart()));
    for (int slot = 1; slot <= service_.Slots().SocketCount(); ++slot)
        if (service_.Slots().InUse(slot))
            Say(QStringLiteral("slot %1: %2").arg(slot).arg(service_.socServer().RemoteHostIP(slot)));
    SayClock(false);
}
