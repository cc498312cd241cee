#include "MetricsText.h"

#include "ConnectionService.h"

MetricsSnapshot MetricsSnapshot::Of(const ConnectionService &service)
{
    MetricsSnapshot s;
    s.stats = service.Stats();
    s.connections = service.Counters().SinceLaunch();
    s.peakSinceStart = int(service.Counters().MaxSimSinceStart());
    for (int slot = 1; slot <= service.Slots().SocketCount(); ++slot)
        s.busySlots += service.Slots().InUse(slot);
    s.listening = service.socServer().Listening();
    s.stopping = !s.listening && service.Draining();
    s.clock = service.Clock();
    s.refusingForClock = service.UnmetClockRule() != nullptr;
    return s;
}

namespace {

struct Sample
{
    const char *labels; // "" or {name="value"}
    qint64 value;
};

void Family(QByteArray &out, const char *name, const char *type, const char *help,
            std::initializer_list<Sample> samples)
{
    out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
    for (const Sample &s : samples)
        out += QByteArray(name) + s.labels + ' ' + QByteArray::number(s.value) + '\n';
}

void Gauge(QByteArray &out, const char *name, const char *help, double value)
{
    out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + " gauge\n" + name + ' '
           + QByteArray::number(value, 'g', 9) + '\n';
}

// Where the platform says nothing, the clock's families are left out rather than guessed.
void AddClockMetrics(QByteArray &out, const ClockStatus &c)
{
    if (c.state != ClockStatus::State::Unknown)
        Gauge(out, "tallix_clock_synchronized", "1 while the system clock is synchronised, 0 while it is not.",
              c.state == ClockStatus::State::Synchronised ? 1 : 0);
    if (c.maximumError)
        Gauge(out, "tallix_clock_maximum_error_seconds", "The system clock's maximum error, as the system gives it.",
              *c.maximumError);
    if (c.estimatedError)
        Gauge(out, "tallix_clock_estimated_error_seconds",
              "The system clock's estimated error, as the system gives it.", *c.estimatedError);
}

} // namespace

QByteArray RenderMetrics(const MetricsSnapshot &s)
{
    QByteArray out;
    out.reserve(2048);
    Family(out, "tallix_connections_total", "counter", "Client connections taken since the program started.",
           {{"", s.connections}});
    Family(out, "tallix_refused_connections_total", "counter",
           "Client connections closed before they took a slot, by reason.",
           {{"{reason=\"rules\"}", s.stats.refusedByRules},
            {"{reason=\"per_address\"}", s.stats.refusedPerAddress},
            {"{reason=\"slots_busy\"}", s.stats.refusedSlotsBusy},
            {"{reason=\"proxy_header\"}", s.stats.refusedProxyHeader},
            {"{reason=\"clock\"}", s.stats.refusedClock}});
    Family(out, "tallix_requests_total", "counter", "Pieces of client data answered with the time.",
           {{"", s.stats.requests}});
    Family(out, "tallix_reply_bytes_total", "counter", "Bytes of those answers.", {{"", s.stats.replyBytes}});
    Family(out, "tallix_busy_slots", "gauge", "Client slots serving a client now.", {{"", s.busySlots}});
    Family(out, "tallix_busy_slots_peak", "gauge", "Most client slots busy at once since the server started.",
           {{"", s.peakSinceStart}});
    Family(out, "tallix_slots", "gauge", "Client slots in all.", {{"", MaxSlots}});
    Family(out, "tallix_listening", "gauge", "1 while the server listens for clients, else 0.",
           {{"", s.listening ? 1 : 0}});
    AddClockMetrics(out, s.clock);
    return out;
}
