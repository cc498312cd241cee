#include "SystemService.h"

// systemd starts the daemon as any program and is told through NotifyServiceManager.
int RunUnderServiceManager(const std::function<int()> &serve) { return serve(); }
