#include "api/RefundStatusResult.h"

namespace zorvikcpqr {

RefundStatusResult::RefundStatusResult(const RequestResult &result)
    : OperationResult(result)
{}

bool RefundStatusResult::success() const
{
    return true;
}

QString RefundStatusResult::declineReason() const
{
    return textMember(QStringLiteral("declineReason"));
}

} // namespace zorvikcpqr
