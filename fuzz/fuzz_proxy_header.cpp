// Any bytes as the start of a connection from a trusted balancer: the PROXY header reader
// never takes more than it is given nor more than the protocol's limits, takes nothing once
// it has decided, and however the bytes are cut into arrivals it comes to the same verdict,
// length and client; a complete header is whole without the bytes after it.
#include "FuzzCheck.h"
#include "ProxyHeader.h"

#include <QtEndian>

namespace {

using Status = ProxyHeader::Status;

// In pieces of the sizes `sizes` gives, cycling (none: all at once).
ProxyHeader FeedInPieces(QByteArrayView input, QByteArrayView sizes)
{
    ProxyHeader h;
    for (qsizetype pos = 0, k = 0, taken = 0; pos < input.size(); ++k) {
        const QByteArrayView piece = input.sliced(
            pos, std::min(sizes.isEmpty() ? input.size() : 1 + uchar(sizes[k % sizes.size()]) % 41, input.size() - pos));
        const Status before = h.State();
        const qsizetype n = h.Feed(piece);
        FUZZ_CHECK(n >= 0 && n <= piece.size() && (before == Status::Incomplete || n == 0) && (h.State() != Status::Incomplete || n == piece.size()));
        FUZZ_CHECK((taken += n) == h.Length());
        pos += piece.size();
    }
    return h;
}

// How far an invalid header was read before it was found out does not matter.
bool Same(const ProxyHeader &a, const ProxyHeader &b)
{
    return a.State() == b.State() && (a.State() == Status::Invalid || a.Length() == b.Length()) && a.Source() == b.Source();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    const ProxyHeader whole = FeedInPieces(input, {});
    FUZZ_CHECK(Same(whole, FeedInPieces(input, QByteArrayView("\0", 1))) && Same(whole, FeedInPieces(input, input)));
    const bool v2 = !input.isEmpty() && input[0] == '\r';
    const qsizetype limit = v2 ? ProxyHeader::MaxV2Length : ProxyHeader::MaxV1Length;
    FUZZ_CHECK(whole.Length() <= limit && (whole.State() != Status::Incomplete || input.size() < limit));
    // A length past the limit is refused as soon as it is read.
    if (v2 && whole.State() != Status::Invalid && whole.Length() >= 16)
        FUZZ_CHECK(16 + qFromBigEndian<quint16>(input.data() + 14) <= limit);
    if (whole.State() != Status::Complete)
        return 0;
    const QByteArrayView header = input.first(whole.Length());
    FUZZ_CHECK(Same(whole, FeedInPieces(header, {})));
    FUZZ_CHECK(v2 ? header.size() == 16 + qFromBigEndian<quint16>(header.data() + 14)
                  : header.startsWith("PROXY ") && header.endsWith("\r\n") && header.count('\r') == 1);
    return 0;
}
