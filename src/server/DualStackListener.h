#pragma once
#include <QString>
#include <QtGlobal>

#include <sys/socket.h>

// The listening socket of the epoll layer.
namespace DualStackListener {

// A non-blocking listener on every address of both protocols (IPv4 clients arrive as
// mapped IPv6 addresses). Only a system without IPv6 falls back to IPv4 alone; a port in
// use or not allowed is an answer. The descriptor, or -errno.
int Open(quint16 port);
// The port a listening descriptor is bound to; 0 when it cannot be told.
quint16 BoundPort(int fd);
// Whether a listener takes IPv6 clients and IPv4 ones alike.
bool IsDualStack(int fd);

} // namespace DualStackListener
