#include "CommandLine.h"
#include "ServeWithoutWindow.h"
#include "ShutdownSignals.h"
#include "SocketActivation.h"
#include "SystemService.h"

#include <QCoreApplication>

// tallix-serverd: the window program's --headless as a program of its own, which needs no
// desktop. --headless is accepted and changes nothing, so that command lines written for
// the window program work unchanged. On Windows the same program is the service.
int main(int argc, char *argv[])
{
    ShutdownSignals::IgnoreClosedPipes();
    return RunUnderServiceManager([&] {
        // Before the application object opens descriptors of its own.
        const HandedSockets handed = TakeHandedSockets();
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("tallix-serverd"));
        const CommandLine line = ReadCommandLine(app.arguments(), CommandLine::Program::Daemon);
        if (line.exitNow)
            return *line.exitNow;
        return ServeWithoutWindow(app, line, handed);
    });
}
