#pragma once

#include <QString>

namespace zorvikcpqr {

// Payment state of a registered order, as the service reports it in "payment_status".
enum class OrderStatus {
    Undefined = 0,
    Started = 1,
    WaitingForApprove = 2,
    Failed = 3,
};

// The state named by the service's text, compared exactly; Undefined for any other text.
OrderStatus orderStatusFromText(const QString &text);

} // namespace zorvikcpqr
