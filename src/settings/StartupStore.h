#pragma once
#include "AutostartEntry.h"

#include <memory>

// The start-up entry store of the platform the program runs on.
std::unique_ptr<StartupEntryStore> MakeSystemStartupStore();
