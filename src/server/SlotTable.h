#pragma once
#include "ServerLimits.h"

#include <array>
#include <optional>

// Which client slots (1..MaxSlots) serve a client, and how many slots have been created
// since the server last started. A request always takes the lowest free slot, so the
// count of created slots is also the peak of simultaneous connections.
class SlotTable
{
public:
    struct Pick
    {
        int slot;
        bool isNew; // the caller must load the slot's socket first
    };

    // Marks the chosen slot busy. Nothing when all MaxSlots slots are busy.
    std::optional<Pick> Take();
    // Called on the client's close; the slot stays created for reuse.
    void Free(int slot);
    bool InUse(int slot) const;
    int SocketCount() const { return socketCount_; }
    // At every start. Stale busy marks above the new count are never read, and a slot is
    // marked again as it is created.
    void ResetCount() { socketCount_ = 0; }

private:
    std::array<bool, MaxSlots + 1> inUse_{}; // index 0 unused
    int socketCount_ = 0;
};
