#include "ShutdownSending.h"

#include <winsock2.h>

void ShutdownSending(qintptr descriptor) { ::shutdown(SOCKET(descriptor), SD_SEND); }
