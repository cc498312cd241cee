// Sends a service a control code as "sc control NAME CODE" does on Windows; Wine's sc has no
// "control". Usage: service-control NAME CODE (6: PARAMCHANGE). Status 0 when it was taken.
#include <cstdlib>
#include <windows.h>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    const SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    const SC_HANDLE service = manager ? OpenServiceA(manager, argv[1], SERVICE_PAUSE_CONTINUE) : nullptr;
    SERVICE_STATUS status;
    const bool taken = service && ControlService(service, DWORD(std::strtoul(argv[2], nullptr, 0)), &status);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return taken ? 0 : 1;
}
