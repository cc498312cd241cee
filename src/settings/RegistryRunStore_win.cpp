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
    // Deleted whatever its type: a value Read() does not take as an entry (REG_EXPAND_SZ,
    // an empty string) still makes Windows launch the program at log-on. A key this user
    // may not change reads as no entry, so there is nothing to delete there either.
    const LONG status = DeleteRegValue(HKEY_LOCAL_MACHINE, kRunKeyPath, kValueName);
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_ACCESS_DENIED)
        return true;
    return Succeeded(status, why);
}

QString RegistryRunStore::EntryData(const QString &executablePath) const
{
    const QFileInfo executable(executablePath);
    const QString folder = WithOneTrailingSlash(executable.absolutePath());
    return QStringLiteral("\"") + QDir::toNativeSeparators(folder + executable.completeBaseName())
           + QStringLiteral(".exe\"");
}
