#include "CommandLine.h"
#include "ConsoleOutput.h"
#include "DisplayCheck.h"
#include "QuitOnceDrained.h"
#include "ServeWithoutWindow.h"
#include "ShutdownSignals.h"
#include "SocketActivation.h"
#include "frmMain.h"
#include "frmHelp.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <cstdio>

int main(int argc, char *argv[])
{
    ShutdownSignals::IgnoreClosedPipes();
    QCoreApplication::setApplicationName(QStringLiteral("tallix-server"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLIX_VERSION));
    if (WantsNoWindow(argc, argv)) {
        // Before the application object opens descriptors of its own.
        const HandedSockets handed = TakeHandedSockets();
        QCoreApplication app(argc, argv);
        OpenCommandLineOutput();
        const CommandLine line = ReadCommandLine(app.arguments(), CommandLine::Program::Window);
        FinishCommandLineOutput(line.exitNow, line.headless);
        if (line.exitNow)
            return *line.exitNow;
        // The daemon's own code, in this process: the same service, messages and signals.
        if (line.headless)
            return ServeWithoutWindow(app, line, handed);
    }

    PreferX11OnWayland(argc, argv);
    const QString noDisplay = MissingDisplayReason();
    if (!noDisplay.isEmpty()) {
        std::fprintf(stderr, "tallix-server: %s; to run without a window, start it with --headless\n",
                     qPrintable(noDisplay));
        return 2;
    }

    QApplication app(argc, argv);
    OpenCommandLineOutput();
    const CommandLine line = ReadCommandLine(app.arguments(), CommandLine::Program::Window);
    FinishCommandLineOutput(line.exitNow, false);
    if (line.exitNow)
        return *line.exitNow;
    // The main window hides itself in the tray, so "no window visible" does not mean the
    // end: the program ends when the main window has unloaded and the help window is closed.
    app.setQuitOnLastWindowClosed(false);

    frmMain w;
    auto quitWhenLastWindowGone = [&w] {
        if (w.IsUnloaded() && !w.HelpWindowOpen())
            QuitOnceDrained(w.Server());
    };
    QObject::connect(&w, &frmMain::Unloaded, &app, quitWhenLastWindowGone, Qt::QueuedConnection);
    QObject::connect(&app, &QGuiApplication::lastWindowClosed, &app, quitWhenLastWindowGone, Qt::QueuedConnection);

    ShutdownSignals shutdown;
    const auto unloadAndEnd = [&w] {
        // A message box waiting for the operator would keep its own event loop going.
        while (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->done(QDialog::Rejected);
        w.Form_Unload(frmMain::UnloadCause::System);
        w.close();
        if (w.HelpWindowOpen()) // a request to end the program ends all of it
            QuitOnceDrained(w.Server());
    };
    QObject::connect(&shutdown, &ShutdownSignals::Requested, &w, unloadAndEnd);
    // A desktop program has no configuration to reload: a hang-up ends it, as it always has.
    QObject::connect(&shutdown, &ShutdownSignals::ReloadRequested, &w, unloadAndEnd);
    // The session manager's quit unloads like the close box does.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &w, [&w] { w.Form_Unload(frmMain::UnloadCause::System); });

    w.Form_Load();
    // A request to end the program can arrive while a failed start's message box is open
    // during the load; the unload has then run already and there is nothing to show.
    if (w.IsUnloaded())
        return 0;
    w.ShowAfterLoad();
    return app.exec();
}
