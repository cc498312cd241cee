#include "ListenAddress.h"

#include "AddressText.h"

std::optional<ListenAddress> ListenAddress::FromText(const QString &text)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return std::nullopt;
    QString host = text.left(colon);
    const bool bracketed = host.startsWith(u'[') && host.endsWith(u']');
    if (bracketed)
        host = host.mid(1, host.size() - 2);
    const int port = StrictDecimal(QStringView(text).mid(colon + 1), 65535);
    ListenAddress result;
    // Unbracketed IPv6 would leave it unclear where the address ends.
    if (!result.host.setAddress(host) || (result.host.protocol() == QAbstractSocket::IPv6Protocol) != bracketed
        || port < 1)
        return std::nullopt;
    result.port = quint16(port);
    return result;
}

QString ListenAddress::Text() const
{
    const QString shown = host.protocol() == QAbstractSocket::IPv6Protocol ? QStringLiteral("[%1]").arg(host.toString())
                                                                           : host.toString();
    return QStringLiteral("%1:%2").arg(shown).arg(port);
}
