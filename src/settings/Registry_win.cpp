#include "Registry.h"

#include <QByteArray>

#include <vector>

namespace {

QByteArray Ansi(const QString &text)
{
    return text.toLocal8Bit(); // the ANSI code page on Windows
}

HKEY OpenKey(HKEY hKey, const QString &subKey)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(hKey, Ansi(subKey).constData(), 0, RegAccess, &opened) != ERROR_SUCCESS)
        return nullptr;
    return opened;
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
    const QByteArray name = Ansi(valueName);
    DWORD type = 0;
    DWORD size = 0;
    LONG status = RegQueryValueExA(hKey, name.constData(), nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS)
        return status;

    if (type == REG_SZ) {
        // One spare byte so that the text always ends, even if it was stored without a null.
        std::vector<char> buffer(size_t(size) + 1, '\0');
        DWORD got = size;
        status = RegQueryValueExA(hKey, name.constData(), nullptr, nullptr, reinterpret_cast<BYTE *>(buffer.data()),
                                  &got);
        if (status != ERROR_SUCCESS) {
            valueData = QString();
            return status;
        }
        const size_t length = qstrnlen(buffer.data(), qMin<size_t>(got, buffer.size()));
        valueData = QString::fromLocal8Bit(buffer.data(), qsizetype(length));
        return status;
    }
    if (type == REG_DWORD) {
        DWORD number = 0;
        DWORD got = sizeof number;
        status = RegQueryValueExA(hKey, name.constData(), nullptr, nullptr, reinterpret_cast<BYTE *>(&number), &got);
        if (status == ERROR_SUCCESS)
            valueData = qint32(number);
        return status;
    }
    return -1;
}

LONG WriteRegValue(HKEY hKey, const QString &valueName, LONG valueType, const RegValueData &valueData)
{
    const QByteArray name = Ansi(valueName);
    if (valueType == REG_SZ) {
        const QByteArray text = Ansi(AsText(valueData));
        // constData() ends in a null; the length counts it.
        return RegSetValueExA(hKey, name.constData(), 0, REG_SZ, reinterpret_cast<const BYTE *>(text.constData()),
                              DWORD(text.size() + 1));
    }
    if (valueType == REG_DWORD) {
        qint32 number = 0;
        if (!AsNumber(valueData, number))
            return ERROR_INVALID_PARAMETER;
        const DWORD stored = DWORD(number);
        return RegSetValueExA(hKey, name.constData(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&stored),
                              sizeof stored);
    }
    return ERROR_SUCCESS;
}

RegValueData GetRegValue(HKEY hKey, const QString &subKey, const QString &valueName)
{
    RegValueData data;
    HKEY key = OpenKey(hKey, subKey);
    if (!key)
        return data;
    ReadRegValue(key, valueName, data);
    RegCloseKey(key);
    return data;
}

void SetRegValue(HKEY hKey, const QString &subKey, const QString &valueName, const RegValueData &valueData,
                 LONG valueType)
{
    HKEY key = OpenKey(hKey, subKey);
    if (!key)
        return;
    WriteRegValue(key, valueName, valueType, valueData);
    RegCloseKey(key);
}

void DeleteRegValue(HKEY hKey, const QString &subKey, const QString &valueName)
{
    HKEY key = OpenKey(hKey, subKey);
    if (!key)
        return;
    RegDeleteValueA(key, Ansi(valueName).constData());
    RegCloseKey(key);
}
