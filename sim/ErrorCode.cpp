#include "sim/ErrorCode.h"

namespace zorviksim {

namespace {

struct ErrorCodeMeaning
{
    ErrorCode code;
    const char *meaning;
};

const ErrorCodeMeaning Meanings[] = {
    {ErrorCode::InvalidRequest, "body not a JSON object, a member missing or mistyped (HTTP 400)"},
    {ErrorCode::SessionRefused, "payment code refused (scenario word SESSIONERR)"},
    {ErrorCode::UnknownSession, "\"quickpay_id\" names no session"},
    {ErrorCode::PayloadMismatch, "\"cpqr_payload\" is not the code the session was opened with"},
    {ErrorCode::DuplicateTransaction, "\"client_transaction\" already names an order"},
    {ErrorCode::OrderRefused, "order creation refused (scenario word ORDERERR)"},
    {ErrorCode::InvalidAmount, "\"cost\" not positive or not a whole number of kopecks"},
    {ErrorCode::UnknownOrder, "\"client_transaction\" names no order"},
    {ErrorCode::StatusUnavailable, "status temporarily unavailable (scenario word STATUSERR)"},
    {ErrorCode::OrderAlreadyPaid, "a paid order cannot be cancelled"},
    {ErrorCode::OrderNotPaid, "only a paid order can be returned"},
    {ErrorCode::ReturnExceedsPaid, "return above what is left to return"},
    {ErrorCode::ReturnRefused, "returns refused (scenario word RETURNERR)"},
    {ErrorCode::RefundIdConflict, "\"refundId\" already used for another order"},
    {ErrorCode::OrderNotWaiting,
     "the phone decides, and expiry by hand ends, only an order waiting for payment"},
    {ErrorCode::UnknownRequest, "the request log keeps no request of that number (HTTP 404)"},
    {ErrorCode::Unauthorized, "wrong \"api-key\" or \"user-token\" (HTTP 401)"},
    {ErrorCode::UnknownEndpoint, "no such method and path (HTTP 404)"},
};

} // namespace

QString describeErrorCodes()
{
    QString text;
    for (const ErrorCodeMeaning &entry : Meanings) {
        text += QStringLiteral("  %1  %2\n")
                    .arg(static_cast<int>(entry.code))
                    .arg(QLatin1String(entry.meaning));
    }
    return text;
}

} // namespace zorviksim
