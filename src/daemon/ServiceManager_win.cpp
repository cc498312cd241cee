#include "ServiceManager.h"

#include "SystemRequests_win.h"

#include <cstring>

// The states systemd is told, as the Service Control Manager's: nothing when the process
// is not a service.
void NotifyServiceManager(const char *state)
{
    if (std::strcmp(state, "READY=1") == 0)
        ReportServiceRunning();
    else if (std::strcmp(state, "STOPPING=1") == 0)
        ReportServiceStopping();
}
