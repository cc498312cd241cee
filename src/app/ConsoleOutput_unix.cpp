#include "ConsoleOutput.h"

void OpenCommandLineOutput() {}

void FinishCommandLineOutput(std::optional<int>, bool) {}
