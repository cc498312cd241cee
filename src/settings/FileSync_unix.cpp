#include "AtomicFile.h"

#include <unistd.h>

bool SyncToDisk(QFile &file) { return file.flush() && ::fsync(file.handle()) == 0; }
