#include "ServiceManager.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// The notify protocol itself: one datagram to the Unix socket named by NOTIFY_SOCKET, a
// leading "@" naming one in the abstract namespace.
void NotifyServiceManager(const char *state)
{
    const char *path = std::getenv("NOTIFY_SOCKET");
    if (!path || (path[0] != '/' && path[0] != '@'))
        return;
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const size_t length = std::strlen(path);
    if (length >= sizeof a.sun_path)
        return;
    std::memcpy(a.sun_path, path, length);
    if (a.sun_path[0] == '@')
        a.sun_path[0] = '\0';
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    ::sendto(fd, state, std::strlen(state), MSG_NOSIGNAL, reinterpret_cast<sockaddr *>(&a),
             socklen_t(offsetof(sockaddr_un, sun_path) + length));
    ::close(fd);
}
