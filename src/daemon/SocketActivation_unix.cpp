#include "SocketActivation.h"

#include <QHostAddress>

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int FirstHandedDescriptor = 3;

int IntOption(int fd, int level, int name)
{
    int value = -1;
    socklen_t length = sizeof value;
    return getsockopt(fd, level, name, &value, &length) == 0 ? value : -1;
}

// Where a listening TCP socket over IPv4 or IPv6 listens; empty for anything else.
QString ListeningTcpAddress(int fd)
{
    sockaddr_storage a{};
    socklen_t length = sizeof a;
    if (IntOption(fd, SOL_SOCKET, SO_TYPE) != SOCK_STREAM || IntOption(fd, SOL_SOCKET, SO_PROTOCOL) != IPPROTO_TCP
        || IntOption(fd, SOL_SOCKET, SO_ACCEPTCONN) != 1
        || getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length) != 0)
        return QString();
    const QHostAddress host(reinterpret_cast<const sockaddr *>(&a));
    if (a.ss_family == AF_INET)
        return QStringLiteral("%1:%2").arg(host.toString()).arg(ntohs(reinterpret_cast<sockaddr_in *>(&a)->sin_port));
    if (a.ss_family != AF_INET6)
        return QString();
    const bool both = IntOption(fd, IPPROTO_IPV6, IPV6_V6ONLY) == 0 && host == QHostAddress::AnyIPv6;
    return QStringLiteral("[%1]:%2%3")
        .arg(host.toString())
        .arg(ntohs(reinterpret_cast<sockaddr_in6 *>(&a)->sin6_port))
        .arg(both ? QStringLiteral(" (IPv6 and IPv4)") : QString());
}

} // namespace

HandedSockets TakeHandedSockets()
{
    const QByteArray pid = qgetenv("LISTEN_PID"), count = qgetenv("LISTEN_FDS");
    const QList<QByteArray> names = qgetenv("LISTEN_FDNAMES").split(':');
    for (const char *name : {"LISTEN_PID", "LISTEN_FDS", "LISTEN_FDNAMES"})
        ::unsetenv(name);
    HandedSockets result;
    bool pidRead = false, countRead = false;
    const int n = count.toInt(&countRead);
    if (pid.toLongLong(&pidRead) != qint64(::getpid()) || !pidRead || !countRead || n <= 0)
        return result;
    // As sd_listen_fds(3): a count that runs past the largest descriptor is no count at all.
    if (n > INT_MAX - FirstHandedDescriptor) {
        result.refused << QStringLiteral("LISTEN_FDS=%1 from the service manager is too large; not used").arg(n);
        return result;
    }
    result.handed = true;
    for (int fd = FirstHandedDescriptor; fd < FirstHandedDescriptor + n; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0) // not open: a count too large, nothing to take or close
            continue;
        const QString address = ListeningTcpAddress(fd);
        if (!address.isEmpty()) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            result.listeners.push_back(fd);
            result.addresses << address;
            continue;
        }
        const QByteArray name = names.value(fd - FirstHandedDescriptor);
        result.refused << QStringLiteral("descriptor %1%2 from the service manager is not a listening TCP socket; "
                                         "not used")
                              .arg(fd)
                              .arg(name.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(QString::fromUtf8(name)));
        ::close(fd);
    }
    return result;
}
