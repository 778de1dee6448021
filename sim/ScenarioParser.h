#pragma once

#include "sim/Scenario.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace zorviksim {

// Reads the scenario out of a scanned payment code ("cpqr_payload"):
//
//   code = "ZVQR" [body] *("-" word)        word = NAME [N]
//
// The body, up to the first "-", is any text and carries no meaning. Words are
// case-insensitive; N is a request number counted from 1 and defaults to 1. A code without
// scenario words, or one that does not begin with "ZVQR", is paid at the first status request.
// The words are listed by grammar(): outcome and session words, and the fault words
// STAGE FAULT [N] (ORDERDROP, STATUSHTML2, RETURNSLOW, ...) that spoil the answer of the N-th
// order creation of a session, status request of an order or return of an order. Of PAY,
// DECLINE, NEVER and MANUAL the last one counts, as does the last fault for the same request; SLOW
// delays whatever the answer is. A fault replaces only the answer: the request is carried out
// all the same, so "ZVQR-DROPSTATUS1" pays the order at the first request although that answer
// is lost, and "ZVQR-RETURNDROP" makes the first return and loses its answer. Words that are
// not scenario words are ignored and kept in Scenario::ignoredWords.
class ScenarioParser
{
public:
    static Scenario parse(const QString &cpqrPayload);
    // The fault word FAULT of "STAGE FAULT [N]" (DROP, SLOW, HTML, ...) as it spoils the first
    // request of a stage; nothing for a word that is no fault.
    static std::optional<Scenario::StageFaults> faultOfWord(const QString &fault);
    static QStringList faultWords();
    // The grammar as the command line help shows it.
    static QString grammar();
};

} // namespace zorviksim
