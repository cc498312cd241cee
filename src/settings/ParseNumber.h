#pragma once
#include <QString>

#include <optional>

// The number at the start of a text, read leniently:
// - blanks, tabs and line feeds are ignored wherever they stand ("16 10" is 1610);
// - an optional sign, digits, an optional "." and digits, an optional exponent
//   (E or e, optional sign, digits; an E without digits ends the number before it);
// - or "&H" followed by hexadecimal digits, "&O" followed by octal digits (any case),
//   read as a non-negative whole number in that base;
// - reading stops at the first character that cannot continue the number;
// - a text that begins with no number gives 0.
// A magnitude too large for a double gives +/- infinity (callers convert through
// RoundHalfEven, which refuses it); one too small gives 0. NaN is never returned.
double ParseNumber(const QString &text);

// A number as a whole number within [min, max]: rounded half to even (0.5 -> 0, 1.5 -> 2),
// nullopt when it is not finite or falls outside the range. The one rule by which port
// texts, option values and ports become integers.
std::optional<qint64> WholeNumberIn(double value, qint64 min, qint64 max);
