#include "Registry.h"

#include <QString>

#include <vector>

namespace {

// The text as the wide-character functions take it: UTF-16, ending in a null.
LPCWSTR Wide(const QString &text) { return reinterpret_cast<LPCWSTR>(text.utf16()); }

LONG OpenKey(HKEY hKey, const QString &subKey, HKEY &opened)
{
    opened = nullptr;
    return RegOpenKeyExW(hKey, Wide(subKey), 0, RegAccess, &opened);
}

QString AsText(const RegValueData &data)
{
    if (const QString *text = std::get_if<QString>(&data))
        return *text;
    if (const qint32 *number = std::get_if<qint32>(&data))
        return QString::number(*number);
    return {};
}

bool AsNumber(const RegValueData &data, qint32 &number)
{
    if (const qint32 *value = std::get_if<qint32>(&data)) {
        number = *value;
        return true;
    }
    if (const QString *text = std::get_if<QString>(&data)) {
        bool ok = false;
        number = text->trimmed().toInt(&ok);
        return ok;
    }
    number = 0;
    return true;
}

} // namespace

LONG ReadRegValue(HKEY hKey, const QString &valueName, RegValueData &valueData)
{
    if (!hKey)
        return ERROR_INVALID_HANDLE;
    DWORD type = 0;
    DWORD size = 0;
    LONG status = RegQueryValueExW(hKey, Wide(valueName), nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS)
        return status;

    if (type == REG_SZ) {
        // One spare character so that the text always ends, even if it was stored without a
        // null (or with an odd byte count).
        std::vector<char16_t> buffer(size_t(size) / 2 + 2, u'\0');
        DWORD got = size;
        status = RegQueryValueExW(hKey, Wide(valueName), nullptr, nullptr, reinterpret_cast<BYTE *>(buffer.data()),
                                  &got);
        if (status != ERROR_SUCCESS) {
            valueData = QString();
            return status;
        }
        const size_t stored = qMin<size_t>(got / 2, buffer.size() - 1);
        size_t length = 0;
        while (length < stored && buffer[length] != u'\0')
            ++length;
        valueData = QString::fromUtf16(buffer.data(), qsizetype(length));
        return status;
    }
    if (type == REG_DWORD) {
        DWORD number = 0;
        DWORD got = sizeof number;
        status = RegQueryValueExW(hKey, Wide(valueName), nullptr, nullptr, reinterpret_cast<BYTE *>(&number), &got);
        if (status == ERROR_SUCCESS)
            valueData = qint32(number);
        return status;
    }
    return -1;
}

LONG WriteRegValue(HKEY hKey, const QString &valueName, LONG valueType, const RegValueData &valueData)
{
    if (valueType == REG_SZ) {
        const QString text = AsText(valueData);
        // utf16() ends in a null; the length in bytes counts it.
        return RegSetValueExW(hKey, Wide(valueName), 0, REG_SZ, reinterpret_cast<const BYTE *>(text.utf16()),
                              DWORD((text.size() + 1) * sizeof(char16_t)));
    }
    if (valueType == REG_DWORD) {
        qint32 number = 0;
        if (!AsNumber(valueData, number))
            return ERROR_INVALID_PARAMETER;
        const DWORD stored = DWORD(number);
        return RegSetValueExW(hKey, Wide(valueName), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&stored),
                              sizeof stored);
    }
    return ERROR_SUCCESS;
}

RegValueData GetRegValue(HKEY hKey, const QString &subKey, const QString &valueName)
{
    RegValueData data;
    HKEY key = nullptr;
    if (OpenKey(hKey, subKey, key) != ERROR_SUCCESS)
        return data;
    ReadRegValue(key, valueName, data);
    RegCloseKey(key);
    return data;
}

LONG SetRegValue(HKEY hKey, const QString &subKey, const QString &valueName, const RegValueData &valueData,
                 LONG valueType)
{
    HKEY key = nullptr;
    LONG status = OpenKey(hKey, subKey, key);
    if (status != ERROR_SUCCESS)
        return status;
    status = WriteRegValue(key, valueName, valueType, valueData);
    RegCloseKey(key);
    return status;
}

LONG DeleteRegValue(HKEY hKey, const QString &subKey, const QString &valueName)
{
    HKEY key = nullptr;
    LONG status = OpenKey(hKey, subKey, key);
    if (status != ERROR_SUCCESS)
        return status;
    status = RegDeleteValueW(key, Wide(valueName));
    RegCloseKey(key);
    return status;
}
