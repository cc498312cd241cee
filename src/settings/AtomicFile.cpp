#include "AtomicFile.h"

#include <QSaveFile>

namespace {

// Overwrites an existing file without making any other: the new bytes first, then the
// length, so that the file is never shorter than what it holds until the end.
bool WriteInPlace(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly | QIODevice::Unbuffered)
           && file.write(bytes) == bytes.size() && file.resize(bytes.size()) && SyncToDisk(file);
}

} // namespace

bool WriteFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    QString why;
    QSaveFile file(path);
    // Unbuffered, so that a failing write shows here: a failure while the buffer is
    // flushed at commit() would go unnoticed, and a truncated file would replace the old one.
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (file.write(bytes) == bytes.size() && file.commit())
            return true;
        why = file.errorString();
        file.cancelWriting();
    } else {
        // The reason the temporary file could not be made is the one worth telling.
        why = file.errorString();
        if (WriteInPlace(path, bytes))
            return true;
    }
    if (error)
        *error = why;
    return false;
}
