#pragma once
#include <optional>

// Where the window program's answers to its command line (help, version, what is wrong)
// go. On Linux standard output and error are there already. A Windows window program has
// none when started from a console: it writes into the console it was started from, or,
// started from Explorer or a shortcut, shows what it wrote in a message box.
void OpenCommandLineOutput();
// Once the command line is read: what was written without a console is shown when the
// program ends now (exitNow; an error when not 0), and nothing more is collected. A program
// that goes on with its window lets the console go (its Ctrl+C is the console's again); one
// that serves without a window keeps reporting there.
void FinishCommandLineOutput(std::optional<int> exitNow, bool keepConsole);
