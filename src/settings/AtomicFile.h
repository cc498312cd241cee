#pragma once
#include <QByteArray>
#include <QString>

// Replaces the file at path with bytes through a temporary file beside it and a rename:
// until the new content is complete the old file stays whole, and a write that cannot be
// done leaves it untouched. A path that is a symbolic link is written through. False when
// nothing was replaced.
bool WriteFileAtomically(const QString &path, const QByteArray &bytes);
