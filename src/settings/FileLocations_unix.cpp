#include "FileLocations.h"

#include <QDir>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

namespace {

// The user's home: $HOME, else the account's entry, never the program's folder.
QString HomeFolder()
{
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty() && QDir::isAbsolutePath(home))
        return home;
    const passwd *account = ::getpwuid(::getuid());
    return account && account->pw_dir ? QFile::decodeName(account->pw_dir) : QString();
}

QString BaseFolder(const char *variable, const QString &underHome)
{
    return XdgBaseFolder(variable, underHome) + QStringLiteral("/tallix-server/");
}

} // namespace

QString XdgBaseFolder(const char *variable, const QString &underHome)
{
    // A relative value is invalid under the XDG rules and is ignored.
    const QString set = qEnvironmentVariable(variable);
    QString base = !set.isEmpty() && QDir::isAbsolutePath(set) ? set : HomeFolder() + u'/' + underHome;
    while (base.endsWith(u'/'))
        base.chop(1);
    return base;
}

std::optional<FileLocations> InstalledLocations(const QString &programFolder)
{
    // <prefix>/bin/tallix-server beside <prefix>/share/tallix-server/Readme.txt, whatever
    // the prefix: a package built for another one finds its help text all the same.
    if (QDir(programFolder).dirName() != QLatin1String("bin"))
        return std::nullopt;
    const QString help = QDir::cleanPath(programFolder + QStringLiteral("../share/tallix-server/Readme.txt"));
    if (!QFileInfo(help).isFile())
        return std::nullopt;
    return FileLocations{BaseFolder("XDG_CONFIG_HOME", QStringLiteral(".config")),
                         BaseFolder("XDG_STATE_HOME", QStringLiteral(".local/state")), help, true};
}

QString InstalledCopyRule()
{
    return QStringLiteral("A copy is installed when its executable lies in a folder named bin with\n"
                          "../share/tallix-server/Readme.txt beside that folder. It then keeps Server.ini and\n"
                          "Access.txt in $XDG_CONFIG_HOME/tallix-server (by default ~/.config/tallix-server)\n"
                          "and Logs in $XDG_STATE_HOME/tallix-server (by default ~/.local/state/tallix-server).\n"
                          "Any other copy is portable.");
}
