#include "DualStackListener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <unistd.h>

namespace {

int OpenFamily(int family, quint16 port)
{
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -errno;
    const int one = 1, zero = 0;
    // Lets a restart bind while old connections linger in TIME_WAIT; Linux still refuses
    // a port on which any other socket listens, on either protocol.
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    int rc;
    if (family == AF_INET6) {
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_any;
        a.sin6_port = htons(port);
        rc = ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    } else {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        a.sin_port = htons(port);
        rc = ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    }
    if (rc == 0)
        rc = ::listen(fd, SOMAXCONN);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        return -err;
    }
    return fd;
}

} // namespace

int DualStackListener::Open(quint16 port)
{
    const int fd = OpenFamily(AF_INET6, port);
    if (fd == -EAFNOSUPPORT || fd == -EADDRNOTAVAIL || fd == -EPROTONOSUPPORT)
        return OpenFamily(AF_INET, port);
    return fd;
}

quint16 DualStackListener::BoundPort(int fd)
{
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    if (fd < 0 || getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) != 0)
        return 0;
    if (a.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6 *>(&a)->sin6_port);
    if (a.ss_family == AF_INET)
        return ntohs(reinterpret_cast<sockaddr_in *>(&a)->sin_port);
    return 0;
}

bool DualStackListener::IsDualStack(int fd)
{
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    int v6only = 1;
    socklen_t optLen = sizeof v6only;
    // A handed-over IPv6 socket may have been bound for IPv6 alone.
    return getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0 && a.ss_family == AF_INET6
           && getsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &v6only, &optLen) == 0 && v6only == 0;
}
