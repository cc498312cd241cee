#include "SystemService.h"

#include "SystemRequests_win.h"

#include <atomic>
#include <future>
#include <mutex>
#include <thread>
#include <windows.h>

// The manager's dispatcher runs on a thread of its own, so that the program (its Qt event
// loop) keeps the main thread, as when it runs from a console. The dispatcher calls
// ServiceMain on yet another thread, which stays until the program has ended.
namespace {

const std::wstring kServiceName = std::wstring(SystemServiceName, SystemServiceName + sizeof SystemServiceName - 1);
constexpr DWORD kWaitHintMs = 5000; // a new checkpoint comes every second while pending

std::mutex statusMutex;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, NO_ERROR, 0, 0, kWaitHintMs};
std::atomic<bool> isService{false};
HANDLE ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
std::promise<bool> startedByManager;
std::once_flag decided;

void Decide(bool service)
{
    std::call_once(decided, [service] { startedByManager.set_value(service); });
}

void Report(DWORD state)
{
    std::lock_guard lock(statusMutex);
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    status.dwCheckPoint = pending && state == status.dwCurrentState ? status.dwCheckPoint + 1 : 0;
    status.dwCurrentState = state;
    status.dwWaitHint = pending ? kWaitHintMs : 0;
    // Controls are taken while running; while starting, a stop is held until it listens.
    status.dwControlsAccepted = state == SERVICE_RUNNING
                                    ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PARAMCHANGE
                                    : 0;
    if (statusHandle)
        SetServiceStatus(statusHandle, &status);
}

DWORD CurrentState()
{
    std::lock_guard lock(statusMutex);
    return status.dwCurrentState;
}

DWORD WINAPI OnControl(DWORD control, DWORD, LPVOID, LPVOID)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        // As SIGTERM: no new clients, the queued replies leave, then the end.
        if (CurrentState() == SERVICE_RUNNING && DeliverSystemRequest(SystemRequest::End))
            Report(SERVICE_STOP_PENDING);
        return NO_ERROR;
    case SERVICE_CONTROL_PARAMCHANGE:
        DeliverSystemRequest(SystemRequest::Reload); // as SIGHUP: Access.txt again
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE: Report(CurrentState()); return NO_ERROR;
    default: return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, LPWSTR *)
{
    statusHandle = RegisterServiceCtrlHandlerExW(kServiceName.c_str(), OnControl, nullptr);
    if (!statusHandle) {
        Decide(false);
        return;
    }
    isService = true;
    Report(SERVICE_START_PENDING);
    Decide(true);
    // The manager sees progress while the port opens and while the replies leave.
    while (WaitForSingleObject(ended, 1000) == WAIT_TIMEOUT)
        if (const DWORD state = CurrentState(); state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING)
            Report(state);
}

} // namespace

bool RunningAsService() { return isService; }

void ReportServiceRunning()
{
    if (isService)
        Report(SERVICE_RUNNING);
}

void ReportServiceStopping()
{
    if (isService && CurrentState() != SERVICE_STOP_PENDING)
        Report(SERVICE_STOP_PENDING);
}

int RunUnderServiceManager(const std::function<int()> &serve)
{
    std::future<bool> started = startedByManager.get_future();
    std::thread dispatcher([] {
        SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(kServiceName.c_str()), ServiceMain}, {nullptr, nullptr}};
        // Fails at once when no manager started the process (a console, a shell).
        StartServiceCtrlDispatcherW(table);
        Decide(false);
    });
    if (!started.get()) {
        dispatcher.join();
        return serve();
    }
    const int code = serve();
    {
        std::lock_guard lock(statusMutex);
        status.dwWin32ExitCode = code == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
        status.dwServiceSpecificExitCode = DWORD(code);
    }
    Report(SERVICE_STOPPED);
    SetEvent(ended);
    dispatcher.join();
    return code;
}
