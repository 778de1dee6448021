#include "sim/Refund.h"

#include "sim/Money.h"

namespace zorviksim {

QJsonObject Refund::answer() const
{
    return {
        {QStringLiteral("refundId"), refundId},
        {QStringLiteral("client_transaction"), clientTransaction},
        {QStringLiteral("status"), 1},
        {QStringLiteral("result"), true},
    };
}

QJsonObject Refund::toJson() const
{
    return {
        {QStringLiteral("refundId"), refundId},
        {QStringLiteral("client_transaction"), clientTransaction},
        {QStringLiteral("cost"), roublesFromKopecks(costKopecks)},
        {QStringLiteral("refundCart"), refundCart.isUndefined() ? QJsonValue() : refundCart},
    };
}

} // namespace zorviksim
