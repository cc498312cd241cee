#include "StartupEntryStore.h"

int LoadStartupEntry(const StartupEntryStore &store) { return store.Read().isEmpty() ? 0 : 1; }

bool SaveStartupEntry(StartupEntryStore &store, int chkLoadOnStartUp, const QString &executablePath, QString *why)
{
    if (chkLoadOnStartUp == 1)
        return store.Write(store.EntryData(executablePath), why);
    return store.Delete(why);
}
