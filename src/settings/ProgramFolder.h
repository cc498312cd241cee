#pragma once
#include <QString>

// The folder given with exactly one trailing "/". The root folder stays "/" ("C:/" on
// Windows); an empty text stays empty, so that a caller without a known folder builds a
// relative path rather than one in the file system's root.
QString WithOneTrailingSlash(const QString &dir);

// The folder of the running executable with one trailing "/", worked out at every call
// from ExecutablePath (on Linux Qt keeps the path it found at start, so a program moved
// while it runs keeps using the folder it started in).
QString ProgramFolder();

// The running executable's path with "/" separators, as the system reports it; empty when
// it cannot be told.
QString ExecutablePath();
