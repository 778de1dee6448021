#pragma once

#include "api/CancelResult.h"

namespace zorvikcpqr {

// The answer to a return request.
class ReturnResult : public CancelResult
{
public:
    ReturnResult() = default;
    ReturnResult(const RequestResult &result);

    // A return is accepted when the exchange went through without an error code and the
    // service answered with a JSON object; its answer carries no "result" to judge by.
    bool success() const override;
    // The service answered and so decided: accepted, or refused with an error code. Otherwise
    // the return may or may not have been made.
    bool isSettled() const;

    // The identifier this return was requested under.
    QString refundTransaction;
};

} // namespace zorvikcpqr
