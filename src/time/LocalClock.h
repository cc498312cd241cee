#pragma once
#include "DateValue.h"

#include <QtGlobal>

// The local wall clock, read to the whole second, and beside it a clock that nobody sets:
// the time between two readings of the second says how far the wall clock itself jumped.
class LocalClock
{
public:
    virtual ~LocalClock() = default;
    virtual DateValue Now() const = 0;
    // Milliseconds from an arbitrary start, never set or stepped, counting time suspended
    // too (a laptop asleep for an hour has not had its clock set forward).
    virtual qint64 ElapsedMs() const = 0;
};

class SystemLocalClock : public LocalClock
{
public:
    DateValue Now() const override;
    qint64 ElapsedMs() const override;
};
