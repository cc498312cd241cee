// ParseNumber on any text, with the properties the settings file and the port rely on.
#include "FormatNumber.h"
#include "FuzzCheck.h"
#include "ParseNumber.h"
#include "Rounding.h"

#include <QString>
#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const double value = ParseNumber(text);
    FUZZ_CHECK(!std::isnan(value));

    // Blanks, tabs and line feeds are ignored wherever they stand.
    QString squeezed = text;
    squeezed.remove(u' ').remove(u'\t').remove(u'\n');
    const double squeezedValue = ParseNumber(squeezed);
    FUZZ_CHECK(squeezedValue == value || (value == 0 && squeezedValue == 0));

    // What the settings file writes reads back as the same number, so a saved port is the
    // port that was in the box (to the 15 digits the file keeps).
    const QString written = FormatNumber(value);
    const double reread = ParseNumber(written);
    FUZZ_CHECK(FormatNumber(reread) == written);
    FUZZ_CHECK(!written.contains(u' '));

    // The rounding the check boxes and the port use never yields a value it cannot hold.
    if (const auto rounded = RoundHalfEven(value))
        FUZZ_CHECK(std::fabs(double(*rounded) - value) <= 0.5 || std::fabs(value) >= 4503599627370496.0);
    return 0;
}
