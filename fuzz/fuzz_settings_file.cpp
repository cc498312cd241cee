// Server.ini with any content: the reader never fails, and what it read survives a save
// and a second load unchanged (no setting is lost or altered by the round trip).
#include "FormatNumber.h"
#include "FuzzCheck.h"
#include "ParseNumber.h"
#include "SettingsFile.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

bool SameSettings(const Settings &a, const Settings &b)
{
    return a.StartOnLoad == b.StartOnLoad && a.MinimizeOnLoad == b.MinimizeOnLoad
           && a.LogIPs == b.LogIPs && a.DaylightSavings == b.DaylightSavings;
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Server.ini"));
    {
        QFile f(path);
        FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }

    Settings first;
    first.LogIPs = 1; // a default that differs from 0, so that "left alone" is visible
    LoadSettings(path, first);
    for (int state : {first.StartOnLoad, first.MinimizeOnLoad, first.LogIPs, first.DaylightSavings})
        FUZZ_CHECK(state >= 0 && state <= 2);

    SaveSettings(path, first);
    const QByteArray saved = ReadAll(path);
    FUZZ_CHECK(saved.startsWith("StartOnLoad="));
    FUZZ_CHECK(saved.count("\r\n") == 5);

    Settings second;
    LoadSettings(path, second);
    FUZZ_CHECK(SameSettings(first, second));
    // The port keeps its number (to the 15 digits the file holds).
    FUZZ_CHECK(FormatNumber(ParseNumber(second.Port)) == FormatNumber(ParseNumber(first.Port)));

    // The saved file is a fixed point: saving what it reads gives the same bytes, so the
    // port number too survives any number of runs.
    SaveSettings(path, second);
    FUZZ_CHECK(ReadAll(path) == saved);
    return 0;
}
