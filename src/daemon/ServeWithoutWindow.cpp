#include "ServeWithoutWindow.h"

#include "HeadlessServer.h"
#include "QuitOnceDrained.h"
#include "ServiceManager.h"
#include "ShutdownSignals.h"

#include <QCoreApplication>

int ServeWithoutWindow(QCoreApplication &app, const CommandLine &line, const HandedSockets &handed)
{
    HeadlessServer server(line.files);
    ShutdownSignals requests;
    QObject::connect(&requests, &ShutdownSignals::StatusRequested, &server, &HeadlessServer::ReportStatus);
    QObject::connect(&requests, &ShutdownSignals::ReloadRequested, &server, &HeadlessServer::ReloadAccessRules);
    // The stop button's stop, inside the event loop, which runs on until its clients are let go.
    QObject::connect(&requests, &ShutdownSignals::Requested, &server, [&server] {
        if (server.Stopped())
            return;
        NotifyServiceManager("STOPPING=1");
        server.Stop();
        QuitOnceDrained(server.Service());
    });
    if (!server.Start(handed, line.metrics))
        return 1;
    NotifyServiceManager("READY=1");
    return app.exec();
}
