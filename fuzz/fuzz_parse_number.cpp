// ParseNumber on any text, with the properties the settings file and the port rely on.
#include "FormatNumber.h"
#include "FuzzCheck.h"
#include "ParseNumber.h"

#include <cmath>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const double value = ParseNumber(text);
    FUZZ_CHECK(!std::isnan(value));

    // Blanks, tabs and line feeds are ignored wherever they stand.
    QString squeezed = text;
    FUZZ_CHECK(ParseNumber(squeezed.remove(u' ').remove(u'\t').remove(u'\n')) == value);

    // What the settings file writes reads back as the same text, so a port survives any
    // number of saves (to the 15 digits the file keeps).
    const QString written = FormatNumber(value);
    FUZZ_CHECK(FormatNumber(ParseNumber(written)) == written && !written.contains(u' '));

    // The whole-number rule never yields a value it cannot hold.
    using limits = std::numeric_limits<qint64>;
    if (const auto whole = WholeNumberIn(value, limits::min(), limits::max()))
        FUZZ_CHECK(std::fabs(double(*whole) - value) <= 0.5 || std::fabs(value) >= 0x1p52);
    return 0;
}
