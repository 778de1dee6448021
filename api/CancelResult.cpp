#include "api/CancelResult.h"

namespace zorvikcpqr {

CancelResult::CancelResult(const RequestResult &result)
    : OperationResult(result)
{}

QString CancelResult::refundId() const
{
    return textMember(QStringLiteral("refundId"));
}

} // namespace zorvikcpqr
