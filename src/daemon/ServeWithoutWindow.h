#pragma once
#include "CommandLine.h"
#include "SocketActivation.h"

class QCoreApplication;

// The window-less service from start to end, in the event loop of app: listens on the
// handed sockets or the port of Server.ini, tells the service manager when it is ready
// and when it stops, answers the system's signals, and drains its clients before the
// loop ends. The daemon's main and the window program's --headless both end here.
int ServeWithoutWindow(QCoreApplication &app, const CommandLine &line, const HandedSockets &handed);
