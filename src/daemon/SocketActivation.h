#pragma once
#include <QStringList>

#include <vector>

// Listening sockets a service manager opened for the program before starting it
// (systemd's socket activation), so that clients wait in their queues while no copy runs.
struct HandedSockets
{
    bool handed = false;            // the manager passed descriptors to this process
    std::vector<qintptr> listeners; // the listening TCP sockets among them, IPv4 or IPv6
    QStringList addresses;          // where each of those listens: "[::]:1610 (IPv6 and IPv4)"
    QStringList refused;            // why each other descriptor is not used
};

// Takes what systemd passes from descriptor 3 on (LISTEN_FDS, for this process when
// LISTEN_PID is its own; LISTEN_FDNAMES names them) and unsets the three variables, as
// sd_listen_fds(1) does, so that no child takes the descriptors for its own. Descriptors
// that are not listening TCP sockets are closed. Called before anything else opens a
// descriptor, so that a wrong count cannot take one of the program's own.
HandedSockets TakeHandedSockets();
