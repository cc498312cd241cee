#include "ServiceManager.h"

// Windows services are told through the service control manager, which this program
// does not use; there is nothing to tell.
void NotifyServiceManager(const char *) {}
