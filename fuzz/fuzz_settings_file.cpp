// Server.ini with any content: the reader never fails, and what it read survives a save
// and a second load unchanged; the saved file is a fixed point of load and save. The
// number reader holds what the file and the port rely on, for the port's text and for
// the whole input read as a number.
#include "Files.h"
#include "FormatNumber.h"
#include "FuzzCheck.h"
#include "ParseNumber.h"
#include "SettingsFile.h"

#include <QTemporaryDir>

#include <cmath>
#include <limits>

static void CheckNumber(QString text)
{
    const double value = ParseNumber(text);
    FUZZ_CHECK(!std::isnan(value));
    // Blanks, tabs and line feeds are ignored wherever they stand.
    FUZZ_CHECK(ParseNumber(text.remove(u' ').remove(u'\t').remove(u'\n')) == value);
    // What the file writes reads back as the same text (to the 15 digits it keeps).
    const QString written = FormatNumber(value);
    FUZZ_CHECK(FormatNumber(ParseNumber(written)) == written && !written.contains(u' '));
    // The whole-number rule never yields a value it cannot hold.
    using limits = std::numeric_limits<qint64>;
    if (const auto whole = WholeNumberIn(value, limits::min(), limits::max()))
        FUZZ_CHECK(std::fabs(double(*whole) - value) <= 0.5 || std::fabs(value) >= 0x1p52);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Server.ini"));
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    FUZZ_CHECK(WriteFile(path, bytes));
    CheckNumber(QString::fromUtf8(bytes));

    Settings first;
    first.LogIPs = 1; // differs from 0, so that "left alone" is visible
    LoadSettings(path, first);
    for (int state : {first.StartOnLoad, first.MinimizeOnLoad, first.LogIPs, first.DaylightSavings})
        FUZZ_CHECK(state >= 0 && state <= 2);
    CheckNumber(first.Port);
    SaveSettings(path, first);
    const QByteArray saved = ReadFile(path);
    FUZZ_CHECK(saved.startsWith("StartOnLoad=") && saved.count("\r\n") == 5);

    Settings second;
    LoadSettings(path, second);
    FUZZ_CHECK(first.StartOnLoad == second.StartOnLoad && first.MinimizeOnLoad == second.MinimizeOnLoad && first.LogIPs == second.LogIPs
               && first.DaylightSavings == second.DaylightSavings);
    FUZZ_CHECK(FormatNumber(ParseNumber(second.Port)) == FormatNumber(ParseNumber(first.Port)));
    SaveSettings(path, second);
    FUZZ_CHECK(ReadFile(path) == saved);
    return 0;
}
