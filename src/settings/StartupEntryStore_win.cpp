#include "StartupEntryStore.h"

#include "RegistryRunStore.h"

std::unique_ptr<StartupEntryStore> MakeSystemStartupStore() { return std::make_unique<RegistryRunStore>(); }
