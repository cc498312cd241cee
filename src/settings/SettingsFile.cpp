#include "SettingsFile.h"

#include "AtomicFile.h"
#include "FormatNumber.h"
#include "ParseNumber.h"

#include <QFile>
#include <QStringList>

namespace {

// CR, CR LF and LF each end a line; a last line without a line end still counts.
QStringList SplitLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

// The check-box state a value text stands for, or nullopt when it is not a legal state.
std::optional<int> CheckBoxState(const QString &valueText)
{
    const std::optional<qint64> state = WholeNumberIn(ParseNumber(valueText), 0, 2);
    return state ? std::optional<int>(int(*state)) : std::nullopt;
}

} // namespace

SettingsReading LoadSettings(const QString &path, Settings &s)
{
    SettingsReading reading;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return reading;
    const QString text = QString::fromUtf8(file.readAll());
    const QDateTime savedAt = file.fileTime(QFileDevice::FileModificationTime);
    file.close();

    const struct
    {
        QString prefix;
        int Settings::*box;
    } boxes[] = {
        {QStringLiteral("startonload="), &Settings::StartOnLoad},
        {QStringLiteral("minimizeonload="), &Settings::MinimizeOnLoad},
        {QStringLiteral("logips="), &Settings::LogIPs},
        {QStringLiteral("daylightsavings="), &Settings::DaylightSavings},
    };
    const QString portPrefix = QStringLiteral("port=");

    const QStringList lines = SplitLines(text);
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString &line = lines[n];
        const QString lowered = line.toLower();
        for (const auto &entry : boxes) {
            if (!lowered.startsWith(entry.prefix))
                continue;
            const QString value = lowered.mid(entry.prefix.size());
            const std::optional<int> state = CheckBoxState(value);
            if (!state) {
                // An illegal state ends the reading; earlier lines stay applied.
                reading.Notes << QStringLiteral("line %1: %2 is not 0, 1 or 2; the lines after it are not read")
                                     .arg(n + 1)
                                     .arg(line.left(100));
                return reading;
            }
            if (value != QString::number(*state))
                reading.Notes << QStringLiteral("line %1: %2 reads as %3").arg(n + 1).arg(line.left(100)).arg(*state);
            s.*entry.box = *state;
            if (entry.box == &Settings::DaylightSavings && savedAt.isValid())
                reading.DaylightSavedAt = savedAt;
        }
        if (lowered.startsWith(portPrefix))
            s.Port = lowered.mid(portPrefix.size());
    }
    return reading;
}

bool SaveSettings(const QString &path, const Settings &s, QString *error)
{
    const QString text = QStringLiteral("StartOnLoad=%1\r\n"
                                        "MinimizeOnLoad=%2\r\n"
                                        "LogIPs=%3\r\n"
                                        "port=%4\r\n"
                                        "DaylightSavings=%5\r\n")
                             .arg(s.StartOnLoad)
                             .arg(s.MinimizeOnLoad)
                             .arg(s.LogIPs)
                             .arg(FormatNumber(ParseNumber(s.Port)))
                             .arg(s.DaylightSavings);

    // A full disk or a crash never leaves half a file behind.
    return WriteFileAtomically(path, text.toUtf8(), error);
}
