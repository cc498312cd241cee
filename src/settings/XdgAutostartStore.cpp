#include "XdgAutostartStore.h"

#include "AtomicFile.h"
#include "DesktopEntryText.h"
#include "FileLocations.h"

#include <QDir>
#include <QFile>

namespace {

const QString kFileName = QStringLiteral("tallix-server.desktop");
const QString kMainGroup = QStringLiteral("[Desktop Entry]");

struct DesktopEntryKeys
{
    QString exec;
    bool hidden = false;
};

// The keys of the [Desktop Entry] group that decide whether the entry launches anything.
DesktopEntryKeys ReadMainGroup(const QString &text)
{
    DesktopEntryKeys keys;
    bool inMainGroup = false;
    for (QString line : text.split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u'#'))
            continue;
        if (trimmed.startsWith(u'[')) {
            if (inMainGroup)
                break; // only the first [Desktop Entry] group counts
            inMainGroup = trimmed == kMainGroup;
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        QString value = line.mid(equals + 1);
        while (value.startsWith(u' ') || value.startsWith(u'\t'))
            value.remove(0, 1);
        if (key == QLatin1String("Exec"))
            keys.exec = value;
        else if (key == QLatin1String("Hidden"))
            keys.hidden = value.trimmed() == QLatin1String("true");
    }
    return keys;
}

} // namespace

XdgAutostartStore::XdgAutostartStore() : folder_(DefaultFolder()) {}

XdgAutostartStore::XdgAutostartStore(const QString &autostartFolder) : folder_(autostartFolder) {}

QString XdgAutostartStore::DefaultFolder()
{
    return XdgBaseFolder("XDG_CONFIG_HOME", QStringLiteral(".config")) + QStringLiteral("/autostart");
}

QString XdgAutostartStore::FilePath() const { return folder_ + u'/' + kFileName; }

QString XdgAutostartStore::Read() const
{
    QFile file(FilePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const DesktopEntryKeys keys = ReadMainGroup(QString::fromUtf8(file.readAll()));
    if (keys.hidden)
        return {};
    return UnescapeDesktopString(keys.exec);
}

bool XdgAutostartStore::Write(const QString &data, QString *why)
{
    if (!QDir().mkpath(folder_)) {
        if (why)
            *why = QStringLiteral("the folder %1 cannot be made").arg(folder_);
        return false;
    }
    const QString text = kMainGroup
                         + QStringLiteral("\n"
                                          "Type=Application\n"
                                          "Name=")
                         + QLatin1String(StartupEntryName) + QStringLiteral("\nExec=") + EscapeDesktopString(data)
                         + u'\n';
    return WriteFileAtomically(FilePath(), text.toUtf8(), why);
}

bool XdgAutostartStore::Delete(QString *why)
{
    // An entry without a usable Exec reads as absent but is still ours to remove.
    QFile file(FilePath());
    if (!file.open(QIODevice::ReadOnly) || ReadMainGroup(QString::fromUtf8(file.readAll())).hidden)
        return true;
    file.close();
    if (file.remove())
        return true;
    if (why)
        *why = file.errorString();
    return false;
}

QString XdgAutostartStore::EntryData(const QString &executablePath) const { return QuoteExecArgument(executablePath); }
