#include "api/CreateOrderResult.h"

namespace zorvikcpqr {

CreateOrderResult::CreateOrderResult(const RequestResult &result)
    : RequestResult(result)
{}

OrderStatus CreateOrderResult::paymentStatus() const
{
    return orderStatusFromText(textMember(QStringLiteral("payment_status")));
}

} // namespace zorvikcpqr
