#include "SystemLog.h"

#include "SystemRequests_win.h"
#include "SystemService.h"

#include <windows.h>

namespace {
// The one message of the program's message table (EventMessages.mc): the line itself.
constexpr DWORD kStatusLineEvent = 1;
} // namespace

void CopyToSystemLog(const QString &line)
{
    if (!RunningAsService())
        return;
    static const HANDLE source = RegisterEventSourceW(nullptr,
                                                      QString::fromLatin1(SystemServiceName).toStdWString().c_str());
    if (!source)
        return;
    const std::wstring text = line.toStdWString();
    LPCWSTR strings[] = {text.c_str()};
    ReportEventW(source, EVENTLOG_INFORMATION_TYPE, 0, kStatusLineEvent, nullptr, 1, 0, strings, nullptr);
}
