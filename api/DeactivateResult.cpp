#include "api/DeactivateResult.h"

namespace zorvikcpqr {

DeactivateResult::DeactivateResult(const RequestResult &result)
    : RequestResult(result)
{}

} // namespace zorvikcpqr
