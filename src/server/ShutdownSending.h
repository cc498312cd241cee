#pragma once
#include <QtGlobal>

// Ends the sending half of a connected socket: the peer sees the end after the bytes
// already queued, and the socket can still read.
void ShutdownSending(qintptr descriptor);
