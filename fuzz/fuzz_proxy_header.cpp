// Any bytes as the start of a connection from a trusted balancer: however they are cut
// into arrivals, the PROXY header reader comes to the same verdict, length and client; it
// never takes more than it is given or than the protocol allows, nothing once it has
// decided, and a complete header is whole without the bytes after it.
#include "FuzzCheck.h"
#include "ProxyHeader.h"

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
        FUZZ_CHECK((taken += n) == h.Length() && h.Length() <= (input[0] == '\r' ? ProxyHeader::MaxV2Length : ProxyHeader::MaxV1Length));
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
    if (whole.State() == Status::Complete)
        FUZZ_CHECK(Same(whole, FeedInPieces(input.first(whole.Length()), {})));
    return 0;
}
