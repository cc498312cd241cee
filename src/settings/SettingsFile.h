#pragma once
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

// The five operator choices kept in Server.ini. Check-box states are 0 unchecked,
// 1 checked, 2 grayed. The caller fills the struct from its controls before loading:
// a line missing from the file leaves the caller's value as it was.
struct Settings
{
    int StartOnLoad = 0;
    int MinimizeOnLoad = 0;
    int LogIPs = 0;
    QString Port = QStringLiteral("1610");
    int DaylightSavings = 0;
};

// What a reading found beyond the values it set.
struct SettingsReading
{
    // When the daylight value that was read had been saved (the file's time); nothing
    // when no DaylightSavings line was applied, the file could not be read or has no time.
    std::optional<QDateTime> DaylightSavedAt;
    QStringList Notes;
};

// Reads the file into s. Lines end at CR, CR LF or LF. Keys match in any letter case but
// untrimmed; the last of repeated keys wins; unknown lines are skipped. A check-box value
// is ParseNumber of the text after "=", rounded half to even; a value other than 0, 1 or 2
// ends the reading at that line, keeping what earlier lines set. The port takes the text
// after "port=" from the lowered line as it stands. A file that cannot be opened changes
// nothing. The reading's notes get a line for the operator for the line that ended the
// reading and for each value not written as 0, 1 or 2 ("line 3: LogIPs=true reads as 0").
SettingsReading LoadSettings(const QString &path, Settings &s);

// Writes exactly the five lines, each ending in CR LF, the port as the number ParseNumber
// finds in s.Port (see FormatNumber), through WriteFileAtomically: until the new content
// is complete the old file stays whole, and where the folder may not be written but the
// file may, the file is overwritten in place. A Server.ini that is a symbolic link is
// written through: the file it points at gets the new content and the link stays. False
// when the file could not be written; error then says why.
bool SaveSettings(const QString &path, const Settings &s, QString *error = nullptr);
