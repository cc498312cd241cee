#include "StartupEntryStore.h"

int LoadStartupEntry(const StartupEntryStore &store) { return store.Read().isEmpty() ? 0 : 1; }

void SaveStartupEntry(StartupEntryStore &store, int chkLoadOnStartUp, const QString &executablePath)
{
    if (chkLoadOnStartUp == 1)
        store.Write(store.EntryData(executablePath));
    else
        store.Delete();
}
