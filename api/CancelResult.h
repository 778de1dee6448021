#pragma once

#include "api/OperationResult.h"

namespace zorvikcpqr {

// An answer about a cancelled or returned order.
class CancelResult : public OperationResult
{
public:
    CancelResult() = default;
    CancelResult(const RequestResult &result);

    QString refundId() const;
};

} // namespace zorvikcpqr
