#pragma once

#include "api/RequestResult.h"

namespace zorvikcpqr {

// An answer of the service judged by its error envelope alone.
class DeactivateResult : public RequestResult
{
public:
    DeactivateResult() = default;
    DeactivateResult(const RequestResult &result);
};

} // namespace zorvikcpqr
