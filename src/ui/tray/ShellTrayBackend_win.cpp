#include "ShellTrayBackend.h"

#include <QImage>
#include <QPixmap>

#include <shellapi.h>

namespace {

constexpr UINT CallbackMessage = WM_APP + 1;
constexpr UINT IconId = 1;
const wchar_t WindowClass[] = L"TallixServerTrayWindow";

} // namespace

ShellTrayBackend::ShellTrayBackend(MessageSink sink) : sink_(std::move(sink))
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &ShellTrayBackend::WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = WindowClass;
    RegisterClassW(&windowClass); // fails harmlessly when a second icon registers it again
    // A hidden top-level window rather than a message-only one: only top-level windows hear
    // the shell's TaskbarCreated broadcast.
    window_ = CreateWindowExW(0, WindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    if (window_)
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
}

ShellTrayBackend::~ShellTrayBackend()
{
    Hide();
    if (window_)
        DestroyWindow(window_);
    if (picture_)
        DestroyIcon(picture_);
}

void ShellTrayBackend::Show(const QIcon &icon, const QString &tooltip)
{
    SetPicture(icon, tooltip);
    wanted_ = true;
    Place();
}

void ShellTrayBackend::Update(const QIcon &icon, const QString &tooltip)
{
    if (!wanted_)
        return;
    SetPicture(icon, tooltip);
    Place();
}

void ShellTrayBackend::Hide()
{
    if (wanted_)
        Send(NIM_DELETE);
    wanted_ = false;
}

void ShellTrayBackend::Place()
{
    if (!Send(NIM_MODIFY)) // refused when the shell does not hold the icon
        Send(NIM_ADD);
}

void ShellTrayBackend::SetPicture(const QIcon &icon, const QString &tooltip)
{
    const int side = GetSystemMetrics(SM_CXSMICON);
    const HICON old = picture_;
    picture_ = icon.pixmap(QSize(side, side)).toImage().toHICON();
    if (old)
        DestroyIcon(old); // the shell keeps its own copy
    tooltip_ = tooltip;
}

bool ShellTrayBackend::Send(DWORD command)
{
    if (!window_)
        return false;
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data;
    data.hWnd = window_;
    data.uID = IconId;
    if (command != NIM_DELETE) {
        data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        data.uCallbackMessage = CallbackMessage;
        data.hIcon = picture_;
        const int length = int(qMin<qsizetype>(tooltip_.size(), std::size(data.szTip) - 1));
        tooltip_.left(length).toWCharArray(data.szTip);
        data.szTip[length] = L'\0';
    }
    return Shell_NotifyIconW(command, &data);
}

LRESULT CALLBACK ShellTrayBackend::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *self = reinterpret_cast<ShellTrayBackend *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == CallbackMessage) {
        // Copied first: the sink may end in a handler that deletes this backend.
        const MessageSink sink = self->sink_;
        sink(qint32(LOWORD(lParam)));
        return 0;
    }
    if (self && message == self->taskbarCreated_ && self->taskbarCreated_ != 0) {
        if (self->wanted_)
            self->Send(NIM_ADD);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
