#include "sim/ScenarioParser.h"

#include <iterator>

namespace zorviksim {

namespace {

const QString CodePrefix = QStringLiteral("ZVQR");

// One scenario word. Counted words take a status request number; the others take none.
struct WordRule
{
    const char *name;
    bool counted;
    const char *help;
    void (*apply)(Scenario &scenario, int request);
};

void decideAt(Scenario &scenario, Scenario::Outcome outcome, int request)
{
    scenario.outcome = outcome;
    scenario.outcomeAtStatusRequest = request;
}

const WordRule WordRules[] = {
    {"PAY",
     true,
     "the order is paid at the N-th status request",
     [](Scenario &s, int n) {
         decideAt(s, Scenario::Outcome::Paid, n);
     }},
    {"DECLINE",
     true,
     "the order is declined at the N-th status request",
     [](Scenario &s, int n) {
         decideAt(s, Scenario::Outcome::Declined, n);
     }},
    {"NEVER",
     false,
     "the order stays registered until it expires or is cancelled",
     [](Scenario &s, int) {
         decideAt(s, Scenario::Outcome::Undecided, 1);
     }},
    {"SESSIONERR",
     false,
     "the session is refused with an error envelope",
     [](Scenario &s, int) {
         s.refuseSession = true;
     }},
    {"LOYALTY",
     false,
     "the session carries several loyalty ids",
     [](Scenario &s, int) {
         s.manyLoyaltyIds = true;
     }},
    {"NOCARD",
     false,
     "the session carries neither merchant payload nor loyalty ids",
     [](Scenario &s, int) {
         s.withoutCards = true;
     }},
    {"ORDERERR",
     false,
     "order creation is refused with an error envelope",
     [](Scenario &s, int) {
         s.refuseOrder = true;
     }},
    {"SLOWORDER",
     false,
     "order creation answers after the slow delay; the order IS registered",
     [](Scenario &s, int) {
         s.slowOrder = true;
     }},
    {"STATUSERR",
     true,
     "the N-th status request gets an error envelope",
     [](Scenario &s, int n) {
         s.statusFaults.insert(n, Scenario::StatusFault::ErrorEnvelope);
     }},
    {"SLOWSTATUS",
     true,
     "the N-th status request is answered after the slow delay",
     [](Scenario &s, int n) {
         s.slowStatusRequests.insert(n);
     }},
    {"DROPSTATUS",
     true,
     "the N-th status request gets no answer: the connection is closed",
     [](Scenario &s, int n) {
         s.statusFaults.insert(n, Scenario::StatusFault::DroppedConnection);
     }},
    {"NOTJSON",
     true,
     "the N-th status request gets a body that is not JSON",
     [](Scenario &s, int n) {
         s.statusFaults.insert(n, Scenario::StatusFault::NotJson);
     }},
    {"HTML500",
     true,
     "the N-th status request gets HTTP 500 with an HTML body (HTML5002: the 2nd)",
     [](Scenario &s, int n) {
         s.statusFaults.insert(n, Scenario::StatusFault::Html500);
     }},
    {"RETURNERR",
     false,
     "returns of the order are refused with an error envelope",
     [](Scenario &s, int) {
         s.refuseReturns = true;
     }},
};

// The request number a word gives for a rule, or 0 when the word is not that rule's.
int requestNumber(const QString &word, const WordRule &rule)
{
    const QLatin1String name(rule.name);
    if (!word.startsWith(name))
        return 0;
    const QString suffix = word.mid(name.size());
    if (suffix.isEmpty())
        return 1;
    if (!rule.counted)
        return 0;
    for (const QChar c : suffix) {
        if (!c.isDigit())
            return 0;
    }
    bool ok = false;
    const int request = suffix.toInt(&ok);
    return ok ? request : 0;
}

bool applyWord(Scenario &scenario, const QString &word)
{
    for (const WordRule &rule : WordRules) {
        const int request = requestNumber(word, rule);
        if (request > 0) {
            rule.apply(scenario, request);
            return true;
        }
    }
    return false;
}

} // namespace

Scenario ScenarioParser::parse(const QString &cpqrPayload)
{
    Scenario scenario;
    if (!cpqrPayload.startsWith(CodePrefix))
        return scenario;
    const QStringList parts = cpqrPayload.mid(CodePrefix.size()).split(QLatin1Char('-'));
    for (auto part = std::next(parts.cbegin()); part != parts.cend(); ++part) {
        if (part->isEmpty())
            continue;
        if (!applyWord(scenario, part->toUpper()))
            scenario.ignoredWords.append(*part);
    }
    return scenario;
}

QString ScenarioParser::grammar()
{
    QString text = QStringLiteral(
        "Scenarios are chosen by the scanned payment code (\"cpqr_payload\"):\n"
        "  code = \"ZVQR\" [body] *(\"-\" word)      word = NAME [N]\n"
        "The body up to the first \"-\" is any text. Words are case-insensitive; N is a status\n"
        "request number counted from 1 (default 1). Without words, or for a code that does not\n"
        "begin with \"ZVQR\", the order is paid at the first status request.\n\n");
    for (const WordRule &rule : WordRules) {
        const QString name = QLatin1String(rule.name) + (rule.counted ? "[N]" : "");
        text += QStringLiteral("  %1 %2\n").arg(name, -15).arg(QLatin1String(rule.help));
    }
    text += QStringLiteral(
        "\nWords combine, e.g. ZVQR-PAY2-SLOWSTATUS1. Of PAY, DECLINE and NEVER the last counts,\n"
        "as does the last fault word for the same request; SLOWSTATUS delays any answer. A fault\n"
        "replaces only the answer: the request still counts, so ZVQR-DROPSTATUS1 pays the order\n"
        "at the first request although that answer is lost. Other words are ignored and listed\n"
        "under \"ignoredWords\" in GET /sim/state.\n");
    return text;
}

} // namespace zorviksim
