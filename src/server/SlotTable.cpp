#include "SlotTable.h"

std::optional<SlotTable::Pick> SlotTable::Take()
{
    for (int slot = 1; slot <= socketCount_; ++slot) {
        if (!inUse_[slot]) {
            inUse_[slot] = true;
            return Pick{slot, false};
        }
    }
    if (socketCount_ >= MaxSlots)
        return std::nullopt;
    const int slot = ++socketCount_;
    inUse_[slot] = true;
    return Pick{slot, true};
}

void SlotTable::Free(int slot)
{
    if (slot >= 1 && slot <= MaxSlots)
        inUse_[slot] = false;
}

bool SlotTable::InUse(int slot) const { return slot >= 1 && slot <= MaxSlots && inUse_[slot]; }
