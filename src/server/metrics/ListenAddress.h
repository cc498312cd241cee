#pragma once
#include <QHostAddress>
#include <QString>

#include <optional>

// An address and port to listen on, written as "127.0.0.1:9161" or "[::1]:9161": a
// literal address (IPv6 in brackets, as in a URL), so that no name lookup is involved.
struct ListenAddress
{
    QHostAddress host;
    quint16 port = 0;

    // Nothing for a missing or extra part, a name, or a port that is not plainly 1..65535
    // (no sign, no leading zero).
    static std::optional<ListenAddress> FromText(const QString &text);
    QString Text() const;
};
