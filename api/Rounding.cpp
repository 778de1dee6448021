#include "api/Rounding.h"

#include <QtGlobal>

#include <cmath>

namespace zorvikcpqr {

namespace {

double signOf(double value)
{
    if (value > 0.0)
        return 1.0;
    if (value < 0.0)
        return -1.0;
    return 0.0;
}

// Truncates a scaled value toward zero through a 64-bit integer and scales it back. A value that
// the integer cannot hold is far beyond any precision the rounding could add, so the original
// value is returned instead of converting out of range.
double truncateScaled(double scaled, double scale, double original)
{
    constexpr double int64Limit = 9223372036854775808.0; // 2^63
    if (!(scaled >= -int64Limit && scaled < int64Limit))
        return original;
    return static_cast<double>(static_cast<qint64>(scaled)) / scale;
}

} // namespace

double roundMoney(double value)
{
    if (!std::isfinite(value))
        return value;
    const double sign = signOf(value);
    const double scaled = (value + 0.005 * sign) * 100.0 + 0.001 * sign;
    return truncateScaled(scaled, 100.0, value);
}

double roundQuantity(double value)
{
    if (!std::isfinite(value))
        return value;
    const double sign = signOf(value);
    const double scaled = (value + 0.0005 * sign) * 1000.0;
    return truncateScaled(scaled, 1000.0, value);
}

} // namespace zorvikcpqr
