#pragma once
#include <QString>

// A number as plain decimal text for the settings file: rounded to 15 significant digits,
// "." as the decimal point whatever the locale, no exponent, no blanks, no trailing zeros
// after the point, a minus sign only for a negative number (so -0 is "0").
//   1610 -> "1610", 1610.5 -> "1610.5", 1e20 -> "100000000000000000000",
//   1e-7 -> "0.0000001", 0.1 + 0.2 -> "0.3"
// Plain decimal reads back through ParseNumber to the same 15-digit value whatever its size.
// Infinity (what ParseNumber gives for an overflowing text) is written "1E+999" or "-1E+999":
// it reads back as the same infinity, so an unusable port stays unusable after a save rather
// than turning into 0. NaN, which ParseNumber never gives, is written "0".
QString FormatNumber(double value);
