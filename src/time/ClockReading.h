#pragma once
#include <QtGlobal>

#include <optional>

// What the platform says about how far the system clock can be trusted, read without
// changing anything: the fields of the Linux kernel's clock discipline, which the
// Windows reading fills as far as it has evidence.
struct ClockReading
{
    // The status bits that matter here, with the kernel's values (sys/timex.h).
    static constexpr int LeapInsert = 0x10; // STA_INS
    static constexpr int LeapDelete = 0x20; // STA_DEL
    static constexpr int Unsynced = 0x40;   // STA_UNSYNC
    // The maximum error from which a clock counts as unsynchronised (systemd's bound).
    static constexpr qint64 UnsyncedErrorUs = 16'000'000;

    bool known = false; // false: the platform could not be asked, or offers nothing
    int status = 0;
    std::optional<qint64> maximumErrorUs;
    std::optional<qint64> estimatedErrorUs;
};

// The system's reading: on Linux the kernel's (adjtimex with no modes); on Windows what
// the Windows Time service says of its last successful synchronisation.
ClockReading ReadSystemClock();
