#pragma once

#include <QString>

namespace zorviksim {

// How an answer of the simulated service is spoilt; the request is carried out all the same.
enum class AnswerFault {
    ErrorEnvelope,     // the service's error envelope, HTTP 200
    DroppedConnection, // no answer at all: the connection is closed
    NotJson,           // HTTP 200 with a plain-text body
    Html500,           // HTTP 500 with an HTML page
    EmptyBadGateway,   // HTTP 502 without a body
    JsonArray,         // HTTP 200 with a JSON array
    TruncatedJson,     // HTTP 200 with a JSON object cut short
    Oversized,         // HTTP 200 with a JSON object larger than any client should read
};

// "ERR", "DROP", "HTML", ...: the fault as the scenario words and the page's fault selectors
// name it, so that what a tester typed is what the state and the request log show.
QString answerFaultWord(AnswerFault fault);

} // namespace zorviksim
