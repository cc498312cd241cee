#pragma once
#include "StartupEntryStore.h"

// The start-up entry as the string value StartupEntryName under the machine-wide Run key.
// Without the right to change that key nothing is read or written, as the helpers open
// it for changing even to read.
class RegistryRunStore : public StartupEntryStore
{
public:
    QString Read() const override;
    void Write(const QString &data) override;
    void Delete() override;
    // The quoted program folder, the executable's name without extension, and ".exe".
    QString EntryData(const QString &executablePath) const override;
};
