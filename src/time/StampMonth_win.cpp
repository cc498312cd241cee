#include "StampMonth.h"

#include <windows.h>

std::optional<QString> StampMonth::PlatformAbbreviation(int month, const QLocale &locale)
{
    const std::wstring name = locale.bcp47Name().toStdWString();
    wchar_t text[LOCALE_NAME_MAX_LENGTH * 2] = {};
    const int n = GetLocaleInfoEx(name.c_str(), LOCALE_SABBREVMONTHNAME1 + LCTYPE(month - 1), text,
                                  int(std::size(text)));
    if (n <= 1)
        return std::nullopt;
    return QString::fromWCharArray(text, n - 1);
}
