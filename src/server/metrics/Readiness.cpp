#include "Readiness.h"

QByteArray NotReadyReason(const MetricsSnapshot &s)
{
    if (!s.listening)
        return s.stopping ? "stopping" : "not listening";
    // The copy refuses clients under Access.txt's clock rule: say what the clock is.
    if (s.refusingForClock)
        return "refusing clients: " + ClockStateLine(s.clock).toUtf8();
    return {};
}
