#pragma once

#include <QtGlobal>

#include <optional>

namespace zorviksim {

// The service keeps amounts in kopecks and speaks roubles as JSON numbers. An amount that is not
// a finite, whole number of kopecks is no amount: the client must round before sending.
std::optional<qint64> kopecksFromRoubles(double roubles);
double roublesFromKopecks(qint64 kopecks);

} // namespace zorviksim
