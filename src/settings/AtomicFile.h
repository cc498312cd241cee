#pragma once
#include <QByteArray>
#include <QFile>
#include <QString>

// Replaces the file at path with bytes through a temporary file beside it and a rename:
// until the new content is complete the old file stays whole, and a write that cannot be
// done leaves it untouched. A path that is a symbolic link is written through. Where no
// temporary file can be made beside it (a folder the user may not write, holding a file
// they may) the existing file is overwritten in place and synced to the disk instead, so
// that the content is kept at all. False when the file does not hold bytes afterwards;
// error then says why, in the system's words.
bool WriteFileAtomically(const QString &path, const QByteArray &bytes, QString *error = nullptr);

// Waits until what was written to the open file is on the disk. Defined per platform.
bool SyncToDisk(QFile &file);
