#include "ShutdownSending.h"

#include <sys/socket.h>

void ShutdownSending(qintptr descriptor) { ::shutdown(int(descriptor), SHUT_WR); }
