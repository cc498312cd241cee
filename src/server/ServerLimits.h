#pragma once

// Client slots of the server, numbered 1..MaxSlots; element 0 of the socket array listens.
inline constexpr int MaxSlots = 255;
// Connections from a trusted balancer held apart, at most this many at once, until their
// PROXY header has come; the socket layers number them after the slots.
inline constexpr int MaxHeaderWaits = MaxSlots;
inline constexpr int SocketElements = 1 + MaxSlots + MaxHeaderWaits;
