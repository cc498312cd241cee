#pragma once
#include <QString>

#include <optional>

// Where one copy of the program keeps its files. Every folder ends with "/".
//
// A portable copy (the executable in any folder a user unpacked or built) keeps all of
// them beside its executable. An installed copy, told apart by InstalledLocations, may not
// write its program folder (and root must not): it keeps the settings and the connection
// log in the user's own folders and reads the help text from where the installer put it.
// Only this owner knows which case it is; callers just ask for the folders.
struct FileLocations
{
    QString settingsFolder; // Server.ini, Access.txt
    QString dataFolder;     // Logs
    QString helpFile;       // Readme.txt
    bool installed = false;

    // Every file in one folder: a portable copy's program folder, or the one given with --folder.
    static FileLocations InFolder(const QString &folder);
    // The copy whose executable lies at executablePath (empty: files in the working folder).
    static FileLocations ForExecutable(const QString &executablePath);
    // The running copy.
    static FileLocations OfThisCopy();

    QString SettingsFile() const { return settingsFolder + QStringLiteral("Server.ini"); }
    // For --help: which of the files lives where, and how a copy counts as installed.
    QString Describe() const;
};

// The platform's part. The locations of an installed copy whose executable lies in
// programFolder, or nullopt when the copy there is portable.
std::optional<FileLocations> InstalledLocations(const QString &programFolder);
// How this platform tells an installed copy, in one sentence.
QString InstalledCopyRule();

// Where there are XDG folders: one of them without a trailing "/", the variable's value
// when it is an absolute path, else underHome in the user's home ($HOME, else the
// account's entry). The start-up entry's folder is found the same way.
QString XdgBaseFolder(const char *variable, const QString &underHome);
