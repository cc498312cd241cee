#include "FileLocations.h"

#include "ProgramFolder.h"

#include <QFileInfo>

FileLocations FileLocations::InFolder(const QString &folder)
{
    return {folder, folder, folder + QStringLiteral("Readme.txt"), false};
}

FileLocations FileLocations::ForExecutable(const QString &executablePath)
{
    const QString programFolder = executablePath.isEmpty() ? QString()
                                                           : WithOneTrailingSlash(QFileInfo(executablePath).path());
    if (!programFolder.isEmpty())
        if (std::optional<FileLocations> installed = InstalledLocations(programFolder))
            return *installed;
    return InFolder(programFolder);
}

FileLocations FileLocations::OfThisCopy() { return ForExecutable(ExecutablePath()); }

QString FileLocations::Describe() const
{
    return QStringLiteral("Files of this copy (%1):\n"
                          "  Server.ini, Access.txt  %2\n"
                          "  Logs                    %3Logs\n"
                          "  Readme.txt              %4\n"
                          "%5\n")
        .arg(installed ? QStringLiteral("installed") : QStringLiteral("portable, all beside the executable"),
             settingsFolder, dataFolder, helpFile, InstalledCopyRule());
}
