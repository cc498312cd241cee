#include "FileLocations.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>
#include <shlobj.h>

namespace {

// A folder of the user's profile, with the program's own folder name and "/" appended;
// empty when the system does not tell it.
QString ProfileFolder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    QString folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path)) && path && *path)
        folder = QDir::fromNativeSeparators(QString::fromWCharArray(path)) + QStringLiteral("/Tallix Server/");
    CoTaskMemFree(path);
    return folder;
}

} // namespace

std::optional<FileLocations> InstalledLocations(const QString &programFolder)
{
    // The installer leaves its uninstaller beside the program; an unpacked zip has none.
    if (!QFileInfo(programFolder + QStringLiteral("Uninstall.exe")).isFile())
        return std::nullopt;
    const QString settings = ProfileFolder(FOLDERID_RoamingAppData);
    const QString data = ProfileFolder(FOLDERID_LocalAppData);
    if (settings.isEmpty() || data.isEmpty())
        return std::nullopt;
    return FileLocations{settings, data, programFolder + QStringLiteral("Readme.txt"), true};
}

QString InstalledCopyRule()
{
    return QStringLiteral("A copy is installed when Uninstall.exe lies beside its executable. It then keeps\n"
                          "Server.ini and Access.txt in %APPDATA%\\Tallix Server and Logs in\n"
                          "%LOCALAPPDATA%\\Tallix Server. Any other copy is portable.");
}
