#pragma once

// Tells the service manager that started the program what it is doing ("READY=1" once
// the port listens, "STOPPING=1" on the way out), as systemd's Type=notify expects. Does
// nothing when no service manager asked for it.
void NotifyServiceManager(const char *state);
