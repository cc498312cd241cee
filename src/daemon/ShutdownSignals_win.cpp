#include "ShutdownSignals.h"

// Windows ends a session with WM_ENDSESSION to every top-level window, and a polite
// "taskkill" sends WM_CLOSE. Qt answers the first on the main window's own native window
// (which exists while hidden in the tray too) with aboutToQuit, which the program turns
// into the unload, before the process is ended; the second closes the window like its
// close box. Nothing is left to do here.
struct ShutdownSignals::Private
{};

void ShutdownSignals::IgnoreClosedPipes() {} // a write to a closed pipe fails, and that is all

ShutdownSignals::ShutdownSignals(QObject *parent) : QObject(parent), d(new Private) {}

ShutdownSignals::~ShutdownSignals() { delete d; }
