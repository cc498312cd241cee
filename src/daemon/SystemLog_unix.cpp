#include "SystemLog.h"

void CopyToSystemLog(const QString &) {}
