#pragma once
#include <QByteArray>

// The answer to one arrival: the bytes received, a colon, the stamp. Nothing is added and
// the request is never looked at, so any byte (NUL, CR, LF) is echoed as it came.
QByteArray BuildTimeReply(const QByteArray &request, const QByteArray &stamp);
