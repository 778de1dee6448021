#pragma once

#include "api/StartSessionResult.h"

#include <QStringList>

#include <optional>

namespace zorvikcpqr {

// The quick-pay session opened for the customer's code: the service's answer and the card
// numbers that tie the session to the receipt. Empty while no session is open.
struct SessionState
{
    std::optional<StartSessionResult> startSessionResult;
    QStringList cardNumbers;
};

} // namespace zorvikcpqr
