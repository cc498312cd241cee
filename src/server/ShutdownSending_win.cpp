#include "ShutdownSending.h"

#include <winsock2.h>

void ShutdownSending(qintptr descriptor) { ::shutdown(SOCKET(descriptor), SD_SEND); }

bool HasUnreadInput(qintptr descriptor)
{
    u_long unread = 0;
    return ::ioctlsocket(SOCKET(descriptor), FIONREAD, &unread) == 0 && unread > 0;
}
