#include "api/ReturnResult.h"

namespace zorvikcpqr {

ReturnResult::ReturnResult(const RequestResult &result)
    : CancelResult(result)
{}

bool ReturnResult::success() const
{
    // An answer that cannot be read may come from anything between the till and the service.
    return RequestResult::success() && !json.isEmpty();
}

bool ReturnResult::isSettled() const
{
    return success() || (errorCode() != 0 && !transportError);
}

} // namespace zorvikcpqr
