#include "AtomicFile.h"

#include <io.h>

bool SyncToDisk(QFile &file) { return file.flush() && ::_commit(file.handle()) == 0; }
