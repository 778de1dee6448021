#pragma once

#include "api/OrderStatus.h"
#include "api/RequestResult.h"

namespace zorvikcpqr {

// The answer to registering an order.
class CreateOrderResult : public RequestResult
{
public:
    CreateOrderResult() = default;
    CreateOrderResult(const RequestResult &result);

    OrderStatus paymentStatus() const;

    // The identifier the order was registered under, kept even when the exchange failed so
    // that a half-created order can still be cancelled.
    QString clientTransaction;
};

} // namespace zorvikcpqr
