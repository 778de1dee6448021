#pragma once

#include "sim/Scenario.h"

#include <QString>

namespace zorviksim {

// Reads the scenario out of a scanned payment code ("cpqr_payload"):
//
//   code = "ZVQR" [body] *("-" word)        word = NAME [N]
//
// The body, up to the first "-", is any text and carries no meaning. Words are
// case-insensitive; N is a status request number counted from 1 and defaults to 1. A code
// without scenario words, or one that does not begin with "ZVQR", is paid at the first status
// request. The words are listed by grammar(). Of PAY, DECLINE and NEVER the last one counts, as
// does the last fault word for the same request; SLOWSTATUS delays whatever the answer is. A
// fault replaces only the answer: the request still counts, so "ZVQR-DROPSTATUS1" pays the
// order at the first request although that answer is lost. Words that are not scenario words
// are ignored and kept in Scenario::ignoredWords.
class ScenarioParser
{
public:
    static Scenario parse(const QString &cpqrPayload);
    // The grammar as the command line help shows it.
    static QString grammar();
};

} // namespace zorviksim
