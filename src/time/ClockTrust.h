#pragma once
#include "ClockReading.h"

#include <QString>

#include <functional>
#include <optional>

// How far the system clock can be trusted, judged from the platform's reading by one rule
// (systemd's): synchronised while the maximum error is below 16 s, whatever the kernel's
// unsynchronised flag says, because a time daemon that disciplines the clock without
// writing the hardware clock leaves that flag set; the kernel itself sets the flag once
// the error has grown to 16 s. Without a reading, or without an error bound and no
// verdict of the platform's, it is unknown: never synchronised without evidence.
struct ClockStatus
{
    enum class State { Unknown, Synchronised, Unsynchronised };
    State state = State::Unknown;
    std::optional<double> maximumError; // seconds
    std::optional<double> estimatedError;
    bool leapPending = false;

    static ClockStatus Judge(const ClockReading &reading);
    bool operator==(const ClockStatus &) const = default;
};

// The operator's "require-synchronised-clock [BOUND]": the clock must be synchronised
// and, with a bound, its maximum error at most that.
struct ClockRequirement
{
    std::optional<double> maximumError; // seconds

    // "" (no bound), or a number with us, ms or s, above 0 and at most 16 s: "250ms".
    static std::optional<ClockRequirement> FromText(QStringView bound);
    bool MetBy(const ClockStatus &status) const;
    QString Text() const; // as the operator wrote it, unit spaced: "require-synchronised-clock 250 ms"
};

// "16 s", "12.5 ms", "4 us".
QString ErrorText(double seconds);
// One line of state for people: "the system clock is not synchronised (maximum error
// 16 s)"; "again" after a change; the requirement when it is not met ("; refusing
// clients, Access.txt: require-synchronised-clock 250 ms").
QString ClockStateLine(const ClockStatus &status, bool again = false, const ClockRequirement *unmet = nullptr);

// The one owner of the clock's trust in the program. It reads the platform only when
// asked: on the clock tick, once a second, never on the path of a reply.
class ClockTrust
{
public:
    using Reader = std::function<ClockReading()>;
    explicit ClockTrust(Reader reader = ReadSystemClock) : reader_(std::move(reader)) {}

    // True when the state (unknown, synchronised, not) differs from the last read's; the
    // first read always counts as a change.
    bool Refresh();
    const ClockStatus &Status() const { return status_; }

private:
    Reader reader_;
    ClockStatus status_;
    bool everRead_ = false;
};
