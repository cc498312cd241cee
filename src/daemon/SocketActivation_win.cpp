#include "SocketActivation.h"

// Windows has no service manager that hands sockets over: the program binds its port.
HandedSockets TakeHandedSockets() { return {}; }
