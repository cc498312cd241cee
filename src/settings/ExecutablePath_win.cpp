#include "ProgramFolder.h"

#include <QDir>

#include <windows.h>

#include <vector>

QString ExecutablePath()
{
    // The module's own file name, as the system started it: no link resolved, and no
    // application object needed. Long paths need a larger buffer than MAX_PATH.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size())
            return QDir::fromNativeSeparators(QString::fromWCharArray(buffer.data(), int(n)));
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}
