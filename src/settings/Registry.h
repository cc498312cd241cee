#pragma once
#include <QString>

#include <windows.h>

#include <variant>

// Small helpers over the wide-character registry functions, so that a path outside the
// ANSI code page is stored as it is. Every open asks for access 0x3F; no key handle
// outlives the call that opened it, and keys are never created or deleted.

// The data of a value: nothing, a text (REG_SZ) or a 32-bit number (REG_DWORD).
using RegValueData = std::variant<std::monostate, QString, qint32>;

inline constexpr DWORD RegAccess = 0x3F;
inline constexpr char RunKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Opens subKey, reads the value, closes the key. Empty when anything fails.
RegValueData GetRegValue(HKEY hKey, const QString &subKey, const QString &valueName);
// Opens subKey, writes the value (REG_SZ or REG_DWORD; other types write nothing), closes.
// The status of the open, else of the store.
LONG SetRegValue(HKEY hKey, const QString &subKey, const QString &valueName, const RegValueData &valueData,
                 LONG valueType);
// Opens subKey, deletes the value, closes. The status of the open, else of the delete.
LONG DeleteRegValue(HKEY hKey, const QString &subKey, const QString &valueName);

// On an open key: 0 and valueData set on success; the platform's error code, or -1 for a
// type other than REG_SZ and REG_DWORD, with valueData untouched (empty after a failed
// second read of a string).
LONG ReadRegValue(HKEY hKey, const QString &valueName, RegValueData &valueData);
// On an open key: the status of the store; 0 and nothing stored for other types.
LONG WriteRegValue(HKEY hKey, const QString &valueName, LONG valueType, const RegValueData &valueData);
