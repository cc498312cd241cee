#include "ConsoleOutput.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>
#include <windows.h>

namespace {

QString collected; // the file that holds what was written without a console, else empty
bool attached = false;

bool Usable(DWORD which)
{
    const HANDLE handle = GetStdHandle(which);
    return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

std::wstring Native(const QString &path) { return QDir::toNativeSeparators(path).toStdWString(); }

} // namespace

void OpenCommandLineOutput()
{
    // Redirected to a file or a pipe (or handed over by Wine's Unix side): written there.
    if (Usable(STD_OUTPUT_HANDLE) || Usable(STD_ERROR_HANDLE))
        return;
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        attached = true;
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
        return;
    }
    collected = QDir::temp().filePath(QStringLiteral("tallix-server-%1.txt").arg(GetCurrentProcessId()));
    if (!_wfreopen(Native(collected).c_str(), L"w", stdout) || !_wfreopen(Native(collected).c_str(), L"a", stderr))
        collected.clear();
}

void FinishCommandLineOutput(std::optional<int> exitNow, bool keepConsole)
{
    std::fflush(stdout);
    std::fflush(stderr);
    if (attached && !exitNow && !keepConsole) {
        _wfreopen(L"NUL", L"w", stdout);
        _wfreopen(L"NUL", L"w", stderr);
        FreeConsole();
    }
    if (collected.isEmpty())
        return;
    QFile file(collected);
    const QString text = file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()).trimmed() : QString();
    file.close();
    // A program that goes on writes nowhere, as a window program always did.
    _wfreopen(L"NUL", L"w", stdout);
    _wfreopen(L"NUL", L"w", stderr);
    QFile::remove(collected);
    collected.clear();
    if (exitNow && !text.isEmpty())
        MessageBoxW(nullptr, reinterpret_cast<LPCWSTR>(text.utf16()), L"Tallix Server",
                    MB_OK | (*exitNow != 0 ? MB_ICONERROR : MB_ICONINFORMATION));
}
