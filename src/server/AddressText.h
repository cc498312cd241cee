#pragma once
#include <QHostAddress>
#include <QStringView>

#include <optional>

// Addresses and numbers as operators and balancers write them, read strictly: what is
// not plainly one of them is refused rather than guessed at.

// Digits only, no sign and no leading zero (so "010" is never read as octal or decimal
// by surprise); -1 when the text is not such a number or exceeds max.
int StrictDecimal(QStringView text, int max);
// Four dotted decimals 0..255 only: QHostAddress would also take "10" or "127.1".
std::optional<quint32> StrictIPv4(QStringView text);
// Hexadecimal groups, colons and an optional dotted IPv4 tail; no zone ("%eth0").
std::optional<QHostAddress> StrictIPv6(QStringView text);

// A client's address as the log and the slot list show it, the same on every socket layer:
// IPv4 clients in dotted decimal, also when they came as ::ffff:a.b.c.d (a dual-stack
// socket, a PROXY header); IPv6 clients without a zone.
QString ClientAddressText(const QHostAddress &address);
