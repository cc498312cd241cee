#include "FormatNumber.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

QString FormatNumber(double value)
{
    if (std::isnan(value) || value == 0)
        return QStringLiteral("0");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("1E+999") : QStringLiteral("-1E+999");

    // Scientific form with 15 significant digits, e.g. "1.61050000000000e+03"; to_chars
    // rounds correctly and ignores the locale.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific,
                                      14);
    const std::string scientific(buffer, result.ptr);
    const auto e = scientific.find('e');
    std::string digits = scientific.substr(0, 1) + scientific.substr(2, e - 2);
    const int exponent = std::atoi(scientific.c_str() + e + 1);
    // Near the top of the range the nearest 15 digits lie beyond the largest double and
    // would read back as infinity; the largest 15 digits below it stay finite.
    if (exponent == 308 && digits > "179769313486231")
        digits = "179769313486231";
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string text = value < 0 ? "-" : "";
    const int integerDigits = exponent + 1;
    if (integerDigits <= 0) {
        text += "0." + std::string(size_t(-integerDigits), '0') + digits;
    } else if (size_t(integerDigits) >= digits.size()) {
        text += digits + std::string(size_t(integerDigits) - digits.size(), '0');
    } else {
        text += digits.substr(0, size_t(integerDigits)) + "." + digits.substr(size_t(integerDigits));
    }
    return QString::fromStdString(text);
}
