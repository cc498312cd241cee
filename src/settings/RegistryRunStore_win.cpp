#include "RegistryRunStore.h"

#include "ProgramFolder.h"
#include "Registry.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kRunKeyPath = QString::fromLatin1(RunKeyPath);
const QString kValueName = QString::fromLatin1(StartupEntryName);

bool Succeeded(LONG status, QString *why)
{
    if (status == ERROR_SUCCESS)
        return true;
    if (why)
        *why = qt_error_string(int(status));
    return false;
}

} // namespace

QString RegistryRunStore::Read() const
{
    const RegValueData data = GetRegValue(HKEY_LOCAL_MACHINE, kRunKeyPath, kValueName);
    if (const QString *text = std::get_if<QString>(&data))
        return *text;
    if (const qint32 *number = std::get_if<qint32>(&data))
        return QString::number(*number); // any number counts as an entry
    return {};
}

bool RegistryRunStore::Write(const QString &data, QString *why)
{
    return Succeeded(SetRegValue(HKEY_LOCAL_MACHINE, kRunKeyPath, kValueName, RegValueData(data), REG_SZ), why);
}

bool RegistryRunStore::Delete(QString *why)
{
    // What cannot be read (a key this user may not change) is not there to delete.
    if (Read().isEmpty())
        return true;
    return Succeeded(DeleteRegValue(HKEY_LOCAL_MACHINE, kRunKeyPath, kValueName), why);
}

QString RegistryRunStore::EntryData(const QString &executablePath) const
{
    const QFileInfo executable(executablePath);
    const QString folder = WithOneTrailingSlash(executable.absolutePath());
    return QStringLiteral("\"") + QDir::toNativeSeparators(folder + executable.completeBaseName())
           + QStringLiteral(".exe\"");
}
