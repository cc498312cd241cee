#include "CommandLine.h"
#include "DisplayCheck.h"
#include "HeadlessServer.h"
#include "ServiceManager.h"
#include "ShutdownSignals.h"
#include "SocketActivation.h"
#include "frmMain.h"
#include "frmHelp.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <cstdio>

namespace {

int RunHeadless(QCoreApplication &app, const CommandLine &line, const HandedSockets &handed)
{
    HeadlessServer server(line.files);
    ShutdownSignals requests;
    QObject::connect(&requests, &ShutdownSignals::StatusRequested, &server, &HeadlessServer::ReportStatus);
    QObject::connect(&requests, &ShutdownSignals::Requested, &app, &QCoreApplication::quit);
    if (!server.Start(handed, line.metrics))
        return 1;
    NotifyServiceManager("READY=1");
    const int status = app.exec();
    NotifyServiceManager("STOPPING=1");
    server.Stop();
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("tallix-server"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLIX_VERSION));
    if (WantsNoWindow(argc, argv)) {
        // Before the application object opens descriptors of its own.
        const HandedSockets handed = TakeHandedSockets();
        QCoreApplication app(argc, argv);
        const CommandLine line = ReadCommandLine(app.arguments());
        if (line.exitNow)
            return *line.exitNow;
        if (line.headless)
            return RunHeadless(app, line, handed);
    }

    PreferX11OnWayland(argc, argv);
    const QString noDisplay = MissingDisplayReason();
    if (!noDisplay.isEmpty()) {
        std::fprintf(stderr, "tallix-server: %s; to run without a window, start it with --headless\n",
                     qPrintable(noDisplay));
        return 2;
    }

    QApplication app(argc, argv);
    if (const CommandLine line = ReadCommandLine(app.arguments()); line.exitNow)
        return *line.exitNow;
    // The main window hides itself in the tray, so "no window visible" does not mean the
    // end: the program ends when the main window has unloaded and the help window is closed.
    app.setQuitOnLastWindowClosed(false);

    frmMain w;
    auto quitWhenLastWindowGone = [&w] {
        if (w.IsUnloaded() && !w.HelpWindowOpen())
            QCoreApplication::quit();
    };
    QObject::connect(&w, &frmMain::Unloaded, &app, quitWhenLastWindowGone, Qt::QueuedConnection);
    QObject::connect(&app, &QGuiApplication::lastWindowClosed, &app, quitWhenLastWindowGone, Qt::QueuedConnection);

    ShutdownSignals shutdown;
    QObject::connect(&shutdown, &ShutdownSignals::Requested, &w, [&w] {
        // A message box waiting for the operator would keep its own event loop going.
        while (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->done(QDialog::Rejected);
        w.Form_Unload(frmMain::UnloadCause::System);
        w.close();
        if (w.HelpWindowOpen()) // a request to end the program ends all of it
            QCoreApplication::quit();
    });
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
