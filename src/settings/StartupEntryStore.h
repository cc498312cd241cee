#pragma once
#include <QString>

#include <memory>

// The name under which the start-up entry is known to the system.
inline constexpr char StartupEntryName[] = "Brovik Productions - Tallix Server";

// The one named start-up entry that makes the system launch the program: the Run key value
// on Windows, an XDG autostart desktop file elsewhere. A location that may not be changed
// changes nothing, and the change says so.
class StartupEntryStore
{
public:
    virtual ~StartupEntryStore() = default;

    // The entry's data; empty when there is no entry (or none that would launch anything).
    virtual QString Read() const = 0;
    // False when the entry could not be changed; why then says why.
    virtual bool Write(const QString &data, QString *why = nullptr) = 0;
    virtual bool Delete(QString *why = nullptr) = 0;

    // The data that launches the given executable, in this store's own form.
    virtual QString EntryData(const QString &executablePath) const = 0;
};

// 1 when the entry exists, else 0: the state for the "launch at start-up" check box.
int LoadStartupEntry(const StartupEntryStore &store);

// Writes the entry for executablePath when the box is exactly 1; deletes it otherwise
// (unchecked and grayed alike). False, with why, when that change could not be made.
bool SaveStartupEntry(StartupEntryStore &store, int chkLoadOnStartUp, const QString &executablePath,
                      QString *why = nullptr);

// The store of the platform the program runs on.
std::unique_ptr<StartupEntryStore> MakeSystemStartupStore();
