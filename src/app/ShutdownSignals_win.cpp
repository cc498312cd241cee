#include "ShutdownSignals.h"

#include <windows.h>

// Windows ends a session by sending WM_QUERYENDSESSION and then WM_ENDSESSION to every
// top-level window, and ends the process as soon as they have been answered; a polite
// "taskkill" sends WM_CLOSE. A hidden top-level window of our own hears them even while the
// main window is hidden in the tray, and turns them into Requested before it answers, so
// the unload has run by the time the process goes.
namespace {

const wchar_t WindowClass[] = L"TallixServerShutdownWindow";

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *owner = reinterpret_cast<ShutdownSignals *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_QUERYENDSESSION:
        return TRUE; // the program never holds up the end of a session
    case WM_ENDSESSION:
        if (wParam && owner)
            emit owner->Requested();
        return 0;
    case WM_CLOSE:
        if (owner)
            emit owner->Requested();
        return 0; // the window itself stays until this object goes
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

struct ShutdownSignals::Private
{
    HWND window = nullptr;
};

ShutdownSignals::ShutdownSignals(QObject *parent) : QObject(parent), d(new Private)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = WindowClass;
    RegisterClassW(&windowClass);
    d->window = CreateWindowExW(0, WindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                instance, nullptr);
    if (d->window)
        SetWindowLongPtrW(d->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

ShutdownSignals::~ShutdownSignals()
{
    if (d->window)
        DestroyWindow(d->window);
    delete d;
}
