#pragma once
// PROXY headers as a load balancer puts them ahead of a client's bytes.
#include <QByteArray>
#include <QHostAddress>
#include <QtEndian>

// Version 1 naming the client; the rest of the line made up.
inline QByteArray ProxyV1(const QString &client)
{
    const bool v6 = client.contains(u':');
    return "PROXY " + QByteArray(v6 ? "TCP6 " : "TCP4 ") + client.toLatin1() + (v6 ? " ::1" : " 127.0.0.1") + " 40000 1610\r\n";
}

// Version 2: PROXY over TCP naming the client, or for a null one LOCAL (a health check).
inline QByteArray ProxyV2(const QHostAddress &client, const QByteArray &tlvs = {})
{
    const bool local = client.isNull(), v4 = client.protocol() == QAbstractSocket::IPv4Protocol;
    const quint32 a4 = qToBigEndian(client.toIPv4Address());
    const Q_IPV6ADDR a6 = client.toIPv6Address();
    const QByteArray a = v4 ? QByteArray(reinterpret_cast<const char *>(&a4), 4) : QByteArray(reinterpret_cast<const char *>(&a6), 16);
    const QByteArray block = (local ? QByteArray() : a + a + QByteArray("\x9c\x40\x06\x4a", 4)) + tlvs; // ports 40000, 1610
    return QByteArray("\r\n\r\n\0\r\nQUIT\n", 12) + char(local ? 0x20 : 0x21)
           + char(local ? 0
                  : v4  ? 0x11
                        : 0x21)
           + char(block.size() >> 8) + char(block.size()) + block;
}
