// The connection service alone, without any window: it measures the server's own work
// while the full program is benchmarked by run-bench.sh.
//
//   tallix-layer-server --port P [--max-seconds S] [--fixed-stamp]
//
// --fixed-stamp answers with the stamp of a clock that stands still, to tell the layer's
// cost from the clock's.
#include "ConnectionService.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

struct StillClock : LocalClock
{
    DateValue Now() const override { return MakeDateValue(2026, 12, 5, 22, 2, 52); }
    qint64 ElapsedMs() const override { return 0; } // a clock that stands still never jumps
};
struct UtcRecord : TimeZoneSource
{
    TimeZoneRecord Query() const override { return {}; }
    bool DaylightInForceAt(qint64) const override { return false; }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    long port = 0, maxSeconds = 600;
    bool fixedStamp = false;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--port") && i + 1 < argc)
            port = atol(argv[++i]);
        else if (!strcmp(argv[i], "--max-seconds") && i + 1 < argc)
            maxSeconds = atol(argv[++i]);
        else if (!strcmp(argv[i], "--fixed-stamp"))
            fixedStamp = true;
    }
    signal(SIGTERM, [](int) { QCoreApplication::quit(); });
    signal(SIGINT, [](int) { QCoreApplication::quit(); });

    const StillClock stillClock;
    const UtcRecord utc;
    const SystemLocalClock systemClock;
    const TimeZone systemZone;
    const TimeZone stillZone(utc, stillClock);
    const DateText texts;
    // The program's folder is a temporary one: Logs is made there, as the program does.
    const QTemporaryDir folder;
    ConnectionService service(fixedStamp ? stillZone : systemZone, systemClock, texts,
                              {[] { return 0; }, [] { return 0; }, [&] { return folder.path() + u'/'; },
                               [&] { return folder.path() + u'/'; }});
    if (!service.Listen(port)) {
        fprintf(stderr, "cannot listen on port %ld\n", port);
        return 1;
    }
    QTimer::singleShot(maxSeconds * 1000, &app, &QCoreApplication::quit);
    return app.exec();
}
