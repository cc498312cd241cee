#pragma once
#include <QLocale>
#include <QString>

#include <optional>

// The month field of the reply stamp, upper-cased. Under C and every English locale it is
// always the three letters JAN..DEC: Qt's locale data writes SEPT, JUNE or JULY for some
// English territories, which would lengthen a stamp that clients read as 13 characters.
// Other languages get the abbreviation from the platform's own date data (the C library's
// LC_TIME names, or Windows' locale information), and Qt's when the platform has none.
namespace StampMonth {
QString Abbreviation(int month, const QLocale &locale);
// The platform's abbreviated name of month 1..12 for the locale; nothing when the locale
// is not installed there.
std::optional<QString> PlatformAbbreviation(int month, const QLocale &locale);
} // namespace StampMonth
