#include "StartupEntryStore.h"

#include "XdgAutostartStore.h"

std::unique_ptr<StartupEntryStore> MakeSystemStartupStore() { return std::make_unique<XdgAutostartStore>(); }
