#pragma once

#include "api/OperationResult.h"

namespace zorvikcpqr {

// The state of a refund. The answer is informative only, so it never counts as failed.
class RefundStatusResult : public OperationResult
{
public:
    RefundStatusResult() = default;
    RefundStatusResult(const RequestResult &result);

    bool success() const override;

    QString declineReason() const;
};

} // namespace zorvikcpqr
