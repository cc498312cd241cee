#pragma once
#include <functional>

// The name under which the daemon runs as a Windows service, and of its Event Log source.
inline constexpr char SystemServiceName[] = "TallixServer";

// Runs serve() on this thread and returns its status. When Windows' Service Control Manager
// started the process, serve() runs as the service SystemServiceName: START_PENDING until it
// listens, STOPPED with serve()'s status once it returns. Elsewhere, and when started from a
// console, serve() just runs.
int RunUnderServiceManager(const std::function<int()> &serve);
