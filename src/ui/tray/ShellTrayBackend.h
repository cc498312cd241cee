#pragma once
#include "TrayBackend.h"

#include <windows.h>

// The icon in the Windows notification area through Shell_NotifyIcon. The shell reports
// mouse activity on it to a hidden window of this class, with the mouse message (513 to
// 518) in the low word of lParam, in the order the user made the gestures; those numbers
// go to the sink as they are. An icon the shell did not take (at log-on the program may
// start before the taskbar exists) or lost (Explorer restarted) is added again when the
// shell announces its taskbar, and at the next update.
class ShellTrayBackend : public TrayBackend
{
public:
    explicit ShellTrayBackend(MessageSink sink);
    ~ShellTrayBackend() override;

    void Show(const QIcon &icon, const QString &tooltip) override;
    void Update(const QIcon &icon, const QString &tooltip) override;
    void Hide() override;
    QString Name() const override { return QStringLiteral("shell"); }
    // Windows' notification area is part of every desktop session; an icon it lost with
    // Explorer comes back when Explorer does.
    bool Hosted() const override { return wanted_; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void SetPicture(const QIcon &icon, const QString &tooltip);
    bool Send(DWORD command);
    void Place();

    MessageSink sink_;
    HWND window_ = nullptr;
    HICON picture_ = nullptr;
    QString tooltip_;
    bool wanted_ = false; // shown by the owner, whether or not the shell has it now
    UINT taskbarCreated_ = 0;
};
