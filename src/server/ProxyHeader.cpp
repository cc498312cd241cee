#include "ProxyHeader.h"

#include "AddressText.h"

#include <QList>
#include <QString>
#include <QtEndian>

#include <algorithm>

namespace {

// Holds a NUL, so never taken as a C string.
constexpr char V2SignatureBytes[] = "\r\n\r\n\0\r\nQUIT\n";
constexpr QByteArrayView V2Signature(V2SignatureBytes, 12);
constexpr QByteArrayView V1Start("PROXY ");
constexpr qsizetype V2Fixed = 16; // signature, version and command, family, length
// The address block each version 2 family needs: unspecified, IPv4, IPv6, UNIX.
constexpr qsizetype FamilyAddressLength[] = {0, 12, 36, 216};

// Whether what has come so far can still begin `start`.
bool Begins(QByteArrayView got, QByteArrayView start)
{
    const qsizetype n = std::min(got.size(), start.size());
    return got.first(n) == start.first(n);
}

} // namespace

qsizetype ProxyHeader::Feed(QByteArrayView bytes)
{
    qsizetype taken = 0;
    while (status_ == Status::Incomplete && taken < bytes.size()) {
        const QByteArrayView next = bytes.sliced(taken);
        const qsizetype n = Wanted(next);
        header_.append(next.first(n));
        taken += n;
        status_ = header_[0] == '\r' ? CheckV2() : CheckV1();
    }
    return taken;
}

// How many of the next bytes may belong to the header: the first byte alone tells the
// versions apart, version 2 says its length at byte 16, version 1 ends at its LF.
qsizetype ProxyHeader::Wanted(QByteArrayView next) const
{
    if (header_.isEmpty())
        return 1;
    if (header_[0] == '\r') {
        const qsizetype total = header_.size() < V2Fixed ? V2Fixed
                                                         : V2Fixed + qFromBigEndian<quint16>(header_.data() + 14);
        return std::min(next.size(), total - header_.size());
    }
    const qsizetype lf = next.indexOf('\n');
    return std::min(lf < 0 ? next.size() : lf + 1, MaxV1Length - header_.size());
}

ProxyHeader::Status ProxyHeader::CheckV1()
{
    if (!Begins(header_, V1Start))
        return Status::Invalid;
    if (!header_.endsWith('\n'))
        return header_.size() < MaxV1Length ? Status::Incomplete : Status::Invalid;
    // One line ended by CR LF; a lone CR or LF never ends it.
    const QByteArray line = header_.chopped(1);
    if (!line.endsWith('\r') || line.count('\r') != 1)
        return Status::Invalid;
    const QString text = QString::fromLatin1(line.chopped(1));
    // Exactly one space between fields, so an empty field is a malformed line.
    const QList<QStringView> fields = QStringView(text).split(u' ');
    if (fields[1] == u"UNKNOWN")
        return Status::Complete; // whatever follows up to the CR LF is ignored
    const bool v4 = fields[1] == u"TCP4";
    if (fields.size() != 6 || (!v4 && fields[1] != u"TCP6") || StrictDecimal(fields[4], 65535) < 0
        || StrictDecimal(fields[5], 65535) < 0)
        return Status::Invalid;
    if (v4) {
        const std::optional<quint32> source = StrictIPv4(fields[2]);
        if (!source || !StrictIPv4(fields[3]))
            return Status::Invalid;
        source_ = QHostAddress(*source);
    } else {
        const std::optional<QHostAddress> source = StrictIPv6(fields[2]);
        if (!source || !StrictIPv6(fields[3]))
            return Status::Invalid;
        source_ = *source;
    }
    return Status::Complete;
}

ProxyHeader::Status ProxyHeader::CheckV2()
{
    const QByteArrayView h(header_);
    if (!Begins(h, V2Signature))
        return Status::Invalid;
    // Version 2; command LOCAL (0) or PROXY (1).
    if (h.size() > 12 && (uchar(h[12]) >> 4 != 2 || (uchar(h[12]) & 0xf) > 1))
        return Status::Invalid;
    // A PROXY command's family (unspecified, IPv4, IPv6, UNIX) and protocol (unspecified,
    // stream, datagram); LOCAL ignores both.
    const bool relayed = h.size() > 12 && (uchar(h[12]) & 0xf) == 1;
    const int family = h.size() > 13 ? uchar(h[13]) >> 4 : 0, protocol = h.size() > 13 ? uchar(h[13]) & 0xf : 0;
    if (relayed && (family > 3 || protocol > 2))
        return Status::Invalid;
    if (h.size() < V2Fixed)
        return Status::Incomplete;
    const qsizetype total = V2Fixed + qFromBigEndian<quint16>(h.data() + 14);
    if (total > MaxV2Length)
        return Status::Invalid;
    if (h.size() < total)
        return Status::Incomplete;
    if (!relayed)
        return Status::Complete;
    if (total - V2Fixed < FamilyAddressLength[family])
        return Status::Invalid;
    // TCP over IPv4 or IPv6 names the client; other valid kinds fall back to the
    // connection's own peer.
    if (protocol == 1 && family == 1)
        source_ = QHostAddress(qFromBigEndian<quint32>(h.data() + V2Fixed));
    else if (protocol == 1 && family == 2)
        source_ = QHostAddress(reinterpret_cast<const quint8 *>(h.data() + V2Fixed));
    return Status::Complete;
}
