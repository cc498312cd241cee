#include "DesktopNotice.h"

#include <windows.h>
#include <wtsapi32.h>

#include <string>

void ShowDesktopNotice(const QString &title, const QString &text)
{
    // A message box that the session shows on the program's behalf: not waited for, and
    // closed by itself after the timeout, so the program may end at once.
    std::wstring caption = title.toStdWString(), message = text.toStdWString();
    DWORD answer = 0;
    WTSSendMessageW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, caption.data(),
                    DWORD(caption.size() * sizeof(wchar_t)), message.data(), DWORD(message.size() * sizeof(wchar_t)),
                    MB_OK | MB_ICONWARNING, 15, &answer, FALSE);
}
