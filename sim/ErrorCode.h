#pragma once

namespace zorviksim {

// The "codeError" values of the simulated service's error envelope
// {"codeError": <code>, "error": "<message>"}. Business refusals travel with HTTP 200, as the
// real service sends them; malformed requests with HTTP 400, missing credentials with HTTP 401
// and unknown endpoints with HTTP 404.
enum class ErrorCode {
    InvalidRequest = 100,       // body not a JSON object, a member missing or of the wrong type
    SessionRefused = 110,       // the payment code is refused (scenario word SESSIONERR)
    UnknownSession = 120,       // "quickpay_id" names no session
    PayloadMismatch = 121,      // "cpqr_payload" is not the code the session was opened with
    DuplicateTransaction = 130, // "client_transaction" already names an order
    OrderRefused = 131,         // order creation refused (scenario word ORDERERR)
    InvalidAmount = 132,        // "cost" not positive or not a whole number of kopecks
    UnknownOrder = 140,         // "client_transaction" names no order
    StatusUnavailable = 141,    // status temporarily unavailable (scenario word STATUSERR)
    OrderAlreadyPaid = 150,     // a paid order cannot be cancelled
    OrderNotPaid = 160,         // only a paid order can be returned
    ReturnExceedsPaid = 161,    // more than what is left to return
    ReturnRefused = 162,        // returns refused (scenario word RETURNERR)
    RefundIdConflict = 163,     // "refundId" already used for another order
    Unauthorized = 401,         // wrong "api-key" or "user-token"
    UnknownEndpoint = 404,      // no such method and path
};

} // namespace zorviksim
