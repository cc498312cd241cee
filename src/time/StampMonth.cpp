#include "StampMonth.h"

QString StampMonth::Abbreviation(int month, const QLocale &locale)
{
    static const char *const english[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    if (month < 1 || month > 12)
        return {};
    if (locale.language() == QLocale::C || locale.language() == QLocale::English)
        return QLatin1String(english[month - 1]);
    return PlatformAbbreviation(month, locale).value_or(locale.monthName(month, QLocale::ShortFormat)).toUpper();
}
