#pragma once

// Client slots of the server, numbered 1..MaxSlots; element 0 of the socket array listens.
inline constexpr int MaxSlots = 255;
