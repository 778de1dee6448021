#include "sim/Money.h"

#include <cmath>

namespace zorviksim {

namespace {

// Far below a kopeck, far above the error of a double holding a two-decimal amount.
constexpr double KopeckTolerance = 1e-6;
// A trillion roubles: beyond any receipt, well inside the exact range of a double.
constexpr double LargestKopecks = 1e14;

} // namespace

std::optional<qint64> kopecksFromRoubles(double roubles)
{
    const double kopecks = roubles * 100.0;
    if (!std::isfinite(kopecks) || std::abs(kopecks) > LargestKopecks)
        return std::nullopt;
    const double whole = std::round(kopecks);
    if (std::abs(kopecks - whole) > KopeckTolerance)
        return std::nullopt;
    return static_cast<qint64>(whole);
}

double roublesFromKopecks(qint64 kopecks)
{
    return static_cast<double>(kopecks) / 100.0;
}

} // namespace zorviksim
