#include "sim/ScenarioParser.h"

#include <iterator>

namespace zorviksim {

namespace {

const QString CodePrefix = QStringLiteral("ZVQR");

using StageFaults = Scenario::StageFaults;

// One scenario word. Counted words take a request number; the others take none.
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
    {"MANUAL",
     false,
     "the order waits for the customer's phone: Pay or Decline on the page at /",
     [](Scenario &s, int) {
         decideAt(s, Scenario::Outcome::Manual, 1);
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
         s.statusFaults.answers.insert(n, AnswerFault::ErrorEnvelope);
     }},
    {"SLOWSTATUS",
     true,
     "the N-th status request is answered after the slow delay (= STATUSSLOW)",
     [](Scenario &s, int n) {
         s.statusFaults.slowRequests.insert(n);
     }},
    {"DROPSTATUS",
     true,
     "the N-th status request gets no answer (= STATUSDROP)",
     [](Scenario &s, int n) {
         s.statusFaults.answers.insert(n, AnswerFault::DroppedConnection);
     }},
    {"NOTJSON",
     true,
     "the N-th status request gets a body that is not JSON (= STATUSNOTJSON)",
     [](Scenario &s, int n) {
         s.statusFaults.answers.insert(n, AnswerFault::NotJson);
     }},
    {"HTML500",
     true,
     "the N-th status request gets HTTP 500 with HTML (= STATUSHTML)",
     [](Scenario &s, int n) {
         s.statusFaults.answers.insert(n, AnswerFault::Html500);
     }},
    {"RETURNERR",
     false,
     "returns of the order are refused with an error envelope",
     [](Scenario &s, int) {
         s.refuseReturns = true;
     }},
};

// The exchanges that the fault words "STAGE FAULT [N]" spoil.
struct StageRule
{
    const char *name;
    const char *help;
    StageFaults Scenario::*faults;
};

const StageRule StageRules[] = {
    {"ORDER", "order creation, counted per session", &Scenario::orderFaults},
    {"STATUS", "status request, counted per order", &Scenario::statusFaults},
    {"RETURN", "return, counted per order", &Scenario::returnFaults},
};

struct FaultRule
{
    const char *name;
    const char *help;
    void (*apply)(StageFaults &faults, int request);
};

const FaultRule FaultRules[] = {
    {"DROP",
     "no answer: the connection is closed",
     [](StageFaults &f, int n) {
         f.answers.insert(n, AnswerFault::DroppedConnection);
     }},
    {"SLOW",
     "the answer comes after the slow delay",
     [](StageFaults &f, int n) {
         f.slowRequests.insert(n);
     }},
    {"HTML",
     "HTTP 500 with an HTML page",
     [](StageFaults &f, int n) {
         f.answers.insert(n, AnswerFault::Html500);
     }},
    {"GATEWAY",
     "HTTP 502 without a body",
     [](StageFaults &f, int n) {
         f.answers.insert(n, AnswerFault::EmptyBadGateway);
     }},
    {"NOTJSON",
     "HTTP 200 with a body that is not JSON",
     [](StageFaults &f, int n) {
         f.answers.insert(n, AnswerFault::NotJson);
     }},
    {"ARRAY",
     "HTTP 200 with a JSON array",
     [](StageFaults &f, int n) {
         f.answers.insert(n, AnswerFault::JsonArray);
     }},
    {"TRUNCATED",
     "HTTP 200 with a JSON object cut short",
     [](StageFaults &f, int n) {
         f.answers.insert(n, AnswerFault::TruncatedJson);
     }},
    {"HUGE",
     "HTTP 200 with a JSON object of 9 MiB",
     [](StageFaults &f, int n) {
         f.answers.insert(n, AnswerFault::Oversized);
     }},
};

// The request number a word gives for a word name, or 0 when the word is not that name's.
int requestNumber(const QString &word, const QString &name, bool counted)
{
    if (!word.startsWith(name))
        return 0;
    const QString suffix = word.mid(name.size());
    if (suffix.isEmpty())
        return 1;
    if (!counted)
        return 0;
    for (const QChar c : suffix) {
        if (!c.isDigit())
            return 0;
    }
    bool ok = false;
    const int request = suffix.toInt(&ok);
    return ok ? request : 0;
}

bool applyFaultWord(Scenario &scenario, const QString &word)
{
    for (const StageRule &stage : StageRules) {
        for (const FaultRule &fault : FaultRules) {
            const QString name = QLatin1String(stage.name) + QLatin1String(fault.name);
            const int request = requestNumber(word, name, true);
            if (request > 0) {
                fault.apply(scenario.*stage.faults, request);
                return true;
            }
        }
    }
    return false;
}

bool applyWord(Scenario &scenario, const QString &word)
{
    for (const WordRule &rule : WordRules) {
        const int request = requestNumber(word, QLatin1String(rule.name), rule.counted);
        if (request > 0) {
            rule.apply(scenario, request);
            return true;
        }
    }
    return applyFaultWord(scenario, word);
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

std::optional<Scenario::StageFaults> ScenarioParser::faultOfWord(const QString &fault)
{
    for (const FaultRule &rule : FaultRules) {
        if (fault == QLatin1String(rule.name)) {
            StageFaults faults;
            rule.apply(faults, 1);
            return faults;
        }
    }
    return std::nullopt;
}

QStringList ScenarioParser::faultWords()
{
    QStringList words;
    for (const FaultRule &rule : FaultRules)
        words.append(QLatin1String(rule.name));
    return words;
}

QString ScenarioParser::grammar()
{
    QString text = QStringLiteral(
        "Scenarios are chosen by the scanned payment code (\"cpqr_payload\"):\n"
        "  code = \"ZVQR\" [body] *(\"-\" word)      word = NAME [N]\n"
        "The body up to the first \"-\" is any text. Words are case-insensitive; N is a request\n"
        "number counted from 1 (default 1). Without words, or for a code that does not begin\n"
        "with \"ZVQR\", the order is paid at the first status request.\n\n");
    for (const WordRule &rule : WordRules) {
        const QString name = QLatin1String(rule.name) + (rule.counted ? "[N]" : "");
        text += QStringLiteral("  %1 %2\n").arg(name, -15).arg(QLatin1String(rule.help));
    }
    text += QStringLiteral(
        "\nFault words, NAME = STAGE FAULT: the N-th request of the stage gets a spoilt answer,\n"
        "the requests before and after it are answered as usual:\n");
    for (const StageRule &stage : StageRules)
        text += QStringLiteral("  STAGE %1 %2\n")
                    .arg(QLatin1String(stage.name), -10)
                    .arg(QLatin1String(stage.help));
    for (const FaultRule &fault : FaultRules)
        text += QStringLiteral("  FAULT %1 %2\n")
                    .arg(QLatin1String(fault.name), -10)
                    .arg(QLatin1String(fault.help));
    text += QStringLiteral(
        "\nWords combine, e.g. ZVQR-PAY2-SLOWSTATUS1 or ZVQR-RETURNDROP1-RETURNDROP2 (the first\n"
        "two returns of each order lose their answers). Of PAY, DECLINE, NEVER and MANUAL the\n"
        "last counts, as does the last fault for the same request; SLOW delays any answer. A "
        "fault\n"
        "replaces only the answer: the request is carried out all the same (the order is\n"
        "registered, the status request counted, the return made), so ZVQR-DROPSTATUS1 pays\n"
        "the order at the first request although that answer is lost. Other words are ignored\n"
        "and listed under \"ignoredWords\" in GET /sim/state.\n");
    return text;
}

} // namespace zorviksim
