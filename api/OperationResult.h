#pragma once

#include "api/OrderStatus.h"
#include "api/RequestResult.h"

namespace zorvikcpqr {

// The state of an order: "status" 1 once the service has decided, "result" whether it was
// paid, and the cart of the paid order.
class OperationResult : public RequestResult
{
public:
    OperationResult() = default;
    OperationResult(const RequestResult &result);

    // The order was paid.
    bool success() const override;

    // -1 when the answer gives no state.
    int getStatus() const;
    bool result() const;
    QJsonObject getCart() const;

    bool checkStatus(OrderStatus status) const;
};

} // namespace zorvikcpqr
