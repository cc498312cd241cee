#include "ClockReading.h"

#include <sys/timex.h>

static_assert(ClockReading::LeapInsert == STA_INS && ClockReading::LeapDelete == STA_DEL
              && ClockReading::Unsynced == STA_UNSYNC);

ClockReading ReadSystemClock()
{
    // No modes: a read that needs no privilege and changes nothing.
    timex tx{};
    if (adjtimex(&tx) == -1)
        return {};
    return {true, tx.status, qint64(tx.maxerror), qint64(tx.esterror)};
}
