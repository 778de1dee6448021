#pragma once

#include <QString>

namespace zorviksim {

// The "codeError" values of the simulated service's error envelope
// {"codeError": <code>, "error": "<message>"}. Business refusals travel with HTTP 200, as the
// real service sends them; malformed requests with HTTP 400, wrong credentials with HTTP 401
// and unknown endpoints with HTTP 404. describeErrorCodes() says what each one means.
enum class ErrorCode {
    InvalidRequest = 100,
    SessionRefused = 110,
    UnknownSession = 120,
    PayloadMismatch = 121,
    DuplicateTransaction = 130,
    OrderRefused = 131,
    InvalidAmount = 132,
    UnknownOrder = 140,
    StatusUnavailable = 141,
    OrderAlreadyPaid = 150,
    OrderNotPaid = 160,
    ReturnExceedsPaid = 161,
    ReturnRefused = 162,
    RefundIdConflict = 163,
    OrderNotWaiting = 170,
    UnknownRequest = 180,
    Unauthorized = 401,
    UnknownEndpoint = 404,
};

// One line per code, as the command line help lists them.
QString describeErrorCodes();

} // namespace zorviksim
