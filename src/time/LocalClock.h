#pragma once
#include "DateValue.h"

// The local wall clock, read to the whole second.
class LocalClock
{
public:
    virtual ~LocalClock() = default;
    virtual DateValue Now() const = 0;
};

class SystemLocalClock : public LocalClock
{
public:
    DateValue Now() const override;
};
