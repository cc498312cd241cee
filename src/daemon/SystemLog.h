#pragma once
#include <QString>

// The daemon's report lines where the system keeps them besides standard error: Windows'
// Event Log, under the event source SystemServiceName, while it runs as a service (a
// service has no console). On Linux the journal reads standard error, and this does nothing.
void CopyToSystemLog(const QString &line);
