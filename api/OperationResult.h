#pragma once

#include "api/OrderStatus.h"
#include "api/RequestResult.h"

namespace zorvikcpqr {

// The state of an order: "status" 1 once the service has decided, "result" whether it was
// paid, and the cart of the paid order.
class OperationResult : public RequestResult
{
public:
    // The values of "status" that mean something; the service may send others.
    enum Status { NoStatus = -1, Registered = 0, Decided = 1 };

    OperationResult() = default;
    OperationResult(const RequestResult &result);

    // The order was paid.
    bool success() const override;

    // NoStatus when the answer gives no state.
    int getStatus() const;
    bool result() const;
    QJsonObject getCart() const;

    bool checkStatus(OrderStatus status) const;
};

} // namespace zorvikcpqr
