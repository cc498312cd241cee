#pragma once
#include <QtGlobal>

// Ends the sending half of a connected socket: the peer sees the end after the bytes
// already queued, and the socket can still read.
void ShutdownSending(qintptr descriptor);
// Whether the client sent bytes this side has not read yet: closing the socket now would
// answer them with a reset, which can destroy replies still in flight.
bool HasUnreadInput(qintptr descriptor);
