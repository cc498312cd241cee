// Any bytes as the start of a connection from a trusted balancer: the PROXY header reader
// never takes more than it is given nor more than the protocol's limits, stops taking once
// it has decided, and however the bytes are cut into arrivals it comes to the same
// verdict, length and client; a complete header is whole without the bytes after it.
#include "FuzzCheck.h"
#include "ProxyHeader.h"

#include <QtEndian>

namespace {

// Feeds the input in pieces of the given sizes (cycling; 0: all at once).
ProxyHeader FeedInPieces(QByteArrayView input, QByteArrayView sizes)
{
    ProxyHeader header;
    qsizetype taken = 0;
    for (qsizetype pos = 0, k = 0; pos < input.size(); ++k) {
        const qsizetype size = sizes.isEmpty() ? input.size() : 1 + uchar(sizes[k % sizes.size()]) % 41;
        const QByteArrayView piece = input.sliced(pos, std::min(size, input.size() - pos));
        const ProxyHeader::Status before = header.State();
        const qsizetype n = header.Feed(piece);
        FUZZ_CHECK(n >= 0 && n <= piece.size());
        FUZZ_CHECK(before == ProxyHeader::Status::Incomplete || n == 0);
        FUZZ_CHECK(header.State() != ProxyHeader::Status::Incomplete || n == piece.size());
        taken += n;
        pos += piece.size();
    }
    FUZZ_CHECK(taken == header.Length());
    return header;
}

// How far an invalid header was read before it was found out does not matter.
bool Same(const ProxyHeader &a, const ProxyHeader &b)
{
    return a.State() == b.State() && (a.State() == ProxyHeader::Status::Invalid || a.Length() == b.Length()) && a.Source() == b.Source();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    const ProxyHeader whole = FeedInPieces(input, {});
    FUZZ_CHECK(Same(whole, FeedInPieces(input, QByteArrayView("\x00", 1))));
    FUZZ_CHECK(Same(whole, FeedInPieces(input, input)));
    const bool v2 = !input.isEmpty() && input[0] == '\r';
    const qsizetype limit = v2 ? ProxyHeader::MaxV2Length : ProxyHeader::MaxV1Length;
    FUZZ_CHECK(whole.Length() <= limit);
    if (whole.State() == ProxyHeader::Status::Incomplete)
        FUZZ_CHECK(whole.Length() == input.size() && input.size() < limit);
    // A length past the limit is refused as soon as it is read.
    if (v2 && whole.State() != ProxyHeader::Status::Invalid && whole.Length() >= 16)
        FUZZ_CHECK(16 + qFromBigEndian<quint16>(input.data() + 14) <= limit);
    if (whole.State() != ProxyHeader::Status::Complete)
        return 0;
    const QByteArrayView header = input.first(whole.Length());
    FUZZ_CHECK(Same(whole, FeedInPieces(header, {})));
    if (v2)
        FUZZ_CHECK(header.size() == 16 + qFromBigEndian<quint16>(header.data() + 14));
    else
        FUZZ_CHECK(header.startsWith("PROXY ") && header.endsWith("\r\n") && header.count('\r') == 1);
    return 0;
}
