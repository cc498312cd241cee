#pragma once
#include "StartupEntryStore.h"

// The start-up entry as the string value StartupEntryName under the machine-wide Run key.
// Without the right to change that key nothing is read or written, as the helpers open
// it for changing even to read: a write then fails (and says so), a delete finds nothing.
class RegistryRunStore : public StartupEntryStore
{
public:
    QString Read() const override;
    bool Write(const QString &data, QString *why = nullptr) override;
    bool Delete(QString *why = nullptr) override;
    // The quoted program folder, the executable's name without extension, and ".exe".
    QString EntryData(const QString &executablePath) const override;
};
