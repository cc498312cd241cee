#pragma once
#include "TrayBackend.h"

#include <windows.h>

// The icon in the Windows notification area through Shell_NotifyIcon. The shell reports
// mouse activity on it to a hidden window of this class, with the mouse message (513 to
// 518) in the low word of lParam, in the order the user made the gestures; those numbers
// go to the sink as they are. When the shell restarts (Explorer crashed or was replaced),
// a shown icon is added again.
class ShellTrayBackend : public TrayBackend
{
public:
    explicit ShellTrayBackend(MessageSink sink);
    ~ShellTrayBackend() override;

    void Show(const QIcon &icon, const QString &tooltip) override;
    void Update(const QIcon &icon, const QString &tooltip) override;
    void Hide() override;
    QString Name() const override { return QStringLiteral("shell"); }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void SetPicture(const QIcon &icon, const QString &tooltip);
    bool Send(DWORD command);

    MessageSink sink_;
    HWND window_ = nullptr;
    HICON picture_ = nullptr;
    QString tooltip_;
    bool shown_ = false;
    UINT taskbarCreated_ = 0;
};
