// Server.ini with any content: the reader never fails, and what it read survives a save
// and a second load unchanged; the saved file is a fixed point of load and save.
#include "Files.h"
#include "FormatNumber.h"
#include "FuzzCheck.h"
#include "ParseNumber.h"
#include "SettingsFile.h"

#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Server.ini"));
    FUZZ_CHECK(WriteFile(path, QByteArray(reinterpret_cast<const char *>(data), qsizetype(size))));

    Settings first;
    first.LogIPs = 1; // differs from 0, so that "left alone" is visible
    LoadSettings(path, first);
    for (int state : {first.StartOnLoad, first.MinimizeOnLoad, first.LogIPs, first.DaylightSavings})
        FUZZ_CHECK(state >= 0 && state <= 2);
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
