#include "AddressText.h"

#include <QList>

int StrictDecimal(QStringView text, int max)
{
    if (text.isEmpty() || text.size() > 5 || (text.size() > 1 && text[0] == u'0'))
        return -1;
    int value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - '0');
    }
    return value <= max ? value : -1;
}

std::optional<quint32> StrictIPv4(QStringView text)
{
    const QList<QStringView> parts = text.split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    quint32 v4 = 0;
    for (QStringView part : parts) {
        const int byte = StrictDecimal(part, 255);
        if (byte < 0)
            return std::nullopt;
        v4 = v4 << 8 | quint32(byte);
    }
    return v4;
}

std::optional<QHostAddress> StrictIPv6(QStringView text)
{
    if (!text.contains(u':'))
        return std::nullopt;
    for (QChar c : text) {
        const char16_t low = c.toLower().unicode();
        if (!(low >= u'0' && low <= u'9') && !(low >= u'a' && low <= u'f') && low != u':' && low != u'.')
            return std::nullopt;
    }
    QHostAddress address;
    if (!address.setAddress(text.toString()) || address.protocol() != QAbstractSocket::IPv6Protocol)
        return std::nullopt;
    return address;
}

QString ClientAddressText(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4)
        return QHostAddress(v4).toString();
    QHostAddress withoutZone = address;
    withoutZone.setScopeId(QString());
    return withoutZone.toString();
}
