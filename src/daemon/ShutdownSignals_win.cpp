#include "ShutdownSignals.h"

#include "SystemRequests_win.h"

#include <mutex>
#include <windows.h>

// Windows ends a session with WM_ENDSESSION to every top-level window, and a polite
// "taskkill" sends WM_CLOSE: Qt turns them into the window program's unload. A console
// program is asked through its console instead (Ctrl+C, Ctrl+Break, the console closed), and
// a service through the Service Control Manager (SystemService_win.cpp); both arrive here on
// a thread of their own and are handed to the owner's thread.
namespace {

std::mutex ownerMutex;
ShutdownSignals *owner = nullptr;
HANDLE ownerGone = nullptr; // set once the owner is destroyed, after the drain

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    const bool sessionEnds = event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
    // A service outlives every user's log-off; its own shutdown comes from the manager.
    if (sessionEnds && RunningAsService())
        return TRUE;
    if (!DeliverSystemRequest(SystemRequest::End))
        return FALSE; // nothing to drain: the default handler ends the process
    // Windows ends the process once this returns from a close: the replies leave first (Windows
    // allows a few seconds; Ctrl+C and Ctrl+Break wait for nothing).
    if (event == CTRL_CLOSE_EVENT || sessionEnds)
        WaitForSingleObject(ownerGone, 20'000);
    return TRUE;
}

} // namespace

bool DeliverSystemRequest(SystemRequest request)
{
    std::lock_guard lock(ownerMutex);
    if (!owner)
        return false;
    // Queued with the owner as context: dropped if the owner goes first.
    QMetaObject::invokeMethod(
        owner,
        [o = owner, request] {
            if (request == SystemRequest::Reload)
                emit o->ReloadRequested();
            else
                emit o->Requested();
        },
        Qt::QueuedConnection);
    return true;
}

struct ShutdownSignals::Private
{
    bool owns = false;
};

void ShutdownSignals::IgnoreClosedPipes() {} // a write to a closed pipe fails, and that is all

ShutdownSignals::ShutdownSignals(QObject *parent) : QObject(parent), d(new Private)
{
    std::lock_guard lock(ownerMutex);
    if (owner)
        return;
    owner = this;
    d->owns = true;
    if (!ownerGone)
        ownerGone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(ownerGone);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

ShutdownSignals::~ShutdownSignals()
{
    if (d->owns) {
        std::lock_guard lock(ownerMutex);
        owner = nullptr;
        SetEvent(ownerGone);
    }
    delete d;
}
