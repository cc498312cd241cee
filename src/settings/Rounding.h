#pragma once
#include <QtGlobal>

#include <cmath>
#include <optional>

// The nearest whole number, halves to the even neighbour (0.5 -> 0, 1.5 -> 2, 2.5 -> 2),
// done by hand so that it does not depend on the floating-point rounding mode.
// NaN, infinities and values outside the 64-bit range give nullopt, so an overflowing
// number can never reach an integer conversion.
inline std::optional<qint64> RoundHalfEven(double v)
{
    if (!std::isfinite(v))
        return std::nullopt;
    const double below = std::floor(v);
    const double fraction = v - below; // exact: below and v are within one unit
    double rounded = below;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0))
        rounded = below + 1.0;
    // 2^63 is exactly representable; every double below it converts safely.
    constexpr double limit = 9223372036854775808.0;
    if (rounded < -limit || rounded >= limit)
        return std::nullopt;
    return static_cast<qint64>(rounded);
}
