#pragma once
// What Windows' console and Service Control Manager ask of the daemon, on threads of their
// own, and what the daemon tells the manager back. Windows only.

enum class SystemRequest { End, Reload };

// Hands the request to the ShutdownSignals that owns the requests, on its thread, where it
// ends the program as SIGTERM does or reads Access.txt again as SIGHUP does. False when no
// instance owns them.
bool DeliverSystemRequest(SystemRequest request);

// Whether the process runs as a service that the Service Control Manager started.
bool RunningAsService();
// The service listens (RUNNING), or lets its clients go (STOP_PENDING, with a new checkpoint
// every second until it ends). Nothing when not a service.
void ReportServiceRunning();
void ReportServiceStopping();
