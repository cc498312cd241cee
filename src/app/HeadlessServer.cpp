#include "HeadlessServer.h"

#include <QDateTime>
#include <cstdio>

namespace {

void Say(const QString &line)
{
    std::fprintf(stderr, "tallix-server: %s\n", qPrintable(line));
    std::fflush(stderr);
}

} // namespace

HeadlessServer::HeadlessServer(const QString &folder, QObject *parent)
    : QObject(parent), folder_(folder), zone_(), clock_(), texts_(), tick_(zone_, clock_, texts_),
      service_(zone_, clock_, texts_,
               {[this] { return daylight_; }, [this] { return settings_.LogIPs; }, [this] { return folder_; },
                [this] { return folder_; }},
               this)
{
    // One tick a few milliseconds after each wall-clock second, as the window's clock.
    ticker_.setSingleShot(true);
    ticker_.setTimerType(Qt::PreciseTimer);
    connect(&ticker_, &QTimer::timeout, this, &HeadlessServer::Tick);
}

bool HeadlessServer::Start()
{
    const QString ini = folder_ + QStringLiteral("Server.ini");
    LoadSettings(ini, settings_);
    daylight_ = ClockTick::DaylightAtStart(zone_, settings_.DaylightSavings, SettingsSavedAt(ini));
    Tick();
    service_.ResetForStart(0, 0);
    if (!service_.Listen(ConnectionService::PortFromText(settings_.Port))) {
        Say(QStringLiteral("Invalid TCP port number or port in use. (port \"%1\" in %2Server.ini)")
                .arg(settings_.Port, folder_));
        return false;
    }
    for (const QString &line : service_.IgnoredRuleLines())
        Say(QStringLiteral("%1 ignored, %2").arg(QLatin1String(ConnectionService::AccessFileName), line));
    Say(QStringLiteral("listening on port %1 (%2)")
            .arg(service_.socServer().LocalPort())
            .arg(service_.socServer().DualStack() ? QStringLiteral("IPv6 and IPv4") : QStringLiteral("IPv4 only")));
    return true;
}

void HeadlessServer::Stop()
{
    ticker_.stop();
    service_.Stop();
    Say(QStringLiteral("stopped"));
}

void HeadlessServer::Tick()
{
    daylight_ = tick_.Run(daylight_).DaylightValue;
    ticker_.start(1000 - int(QDateTime::currentMSecsSinceEpoch() % 1000) + 3);
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
}
