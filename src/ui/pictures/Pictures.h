#pragma once
#include <QIcon>

// The pictures compiled into the program.
namespace Pictures {
// The program's icon: the window's icon and the tray picture while the server listens.
QIcon ProgramIcon();
// The same design in greys: the tray picture while the server is idle.
QIcon IdleIcon();
} // namespace Pictures
