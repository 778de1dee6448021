#include "api/OperationResult.h"

namespace zorvikcpqr {

OperationResult::OperationResult(const RequestResult &result)
    : RequestResult(result)
{}

bool OperationResult::success() const
{
    return result();
}

int OperationResult::getStatus() const
{
    return integerMember(QStringLiteral("status"), NoStatus);
}

bool OperationResult::result() const
{
    return json.value(QStringLiteral("result")).toBool(false);
}

QJsonObject OperationResult::getCart() const
{
    return json.value(QStringLiteral("cart")).toObject();
}

bool OperationResult::checkStatus(OrderStatus status) const
{
    return getStatus() == static_cast<int>(status);
}

} // namespace zorvikcpqr
