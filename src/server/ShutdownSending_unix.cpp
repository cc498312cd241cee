#include "ShutdownSending.h"

#include <sys/ioctl.h>
#include <sys/socket.h>

void ShutdownSending(qintptr descriptor) { ::shutdown(int(descriptor), SHUT_WR); }

bool HasUnreadInput(qintptr descriptor)
{
    int unread = 0;
    return ::ioctl(int(descriptor), FIONREAD, &unread) == 0 && unread > 0;
}
