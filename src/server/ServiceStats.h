#pragma once
#include <QtGlobal>

// What the service did since it was made, beyond the four counters the window shows: the
// connections it turned away, by why, and the requests it answered. For operators'
// monitoring; nothing in the service reads them back.
struct ServiceStats
{
    qint64 refusedByRules = 0;     // Access.txt's allow and deny lines
    qint64 refusedPerAddress = 0;  // the client's address held its share of slots
    qint64 refusedSlotsBusy = 0;   // all slots served a client
    qint64 refusedProxyHeader = 0; // a trusted balancer sent no good PROXY header
    qint64 refusedClock = 0;       // the clock did not meet Access.txt's requirement
    qint64 requests = 0;           // arrivals answered
    qint64 replyBytes = 0;         // bytes of those answers
};
