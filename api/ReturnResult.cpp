#include "api/ReturnResult.h"

namespace zorvikcpqr {

ReturnResult::ReturnResult(const RequestResult &result)
    : CancelResult(result)
{}

bool ReturnResult::success() const
{
    return RequestResult::success();
}

} // namespace zorvikcpqr
