#pragma once
#include "FileLocations.h"
#include "ListenAddress.h"

#include <QStringList>

#include <optional>

// What the command line asks for, read with Qt's parser from the arguments Qt itself has
// not taken (-platform and the like).
struct CommandLine
{
    // The window program serves without a window only when asked; the daemon always does,
    // and takes --headless as a word that changes nothing.
    enum class Program { Window, Daemon };

    bool headless = false;
    FileLocations files;                  // all in the folder given with --folder, else this copy's
    std::optional<ListenAddress> metrics; // without a window: where to serve /metrics
    std::optional<int> exitNow;           // help, version or an error was printed: end with this
};

// Whether the arguments ask for what needs no window at all (the window-less mode, help,
// version), so that no display is looked for. Asked before any application object exists.
bool WantsNoWindow(int argc, char **argv);

// Prints help, the version or what is wrong itself, under the application's name; an
// error ends with status 2.
CommandLine ReadCommandLine(const QStringList &arguments, CommandLine::Program program);
