#include "sim/AnswerFault.h"

namespace zorviksim {

QString answerFaultWord(AnswerFault fault)
{
    switch (fault) {
    case AnswerFault::ErrorEnvelope:
        return QStringLiteral("ERR");
    case AnswerFault::DroppedConnection:
        return QStringLiteral("DROP");
    case AnswerFault::NotJson:
        return QStringLiteral("NOTJSON");
    case AnswerFault::Html500:
        return QStringLiteral("HTML");
    case AnswerFault::EmptyBadGateway:
        return QStringLiteral("GATEWAY");
    case AnswerFault::JsonArray:
        return QStringLiteral("ARRAY");
    case AnswerFault::TruncatedJson:
        return QStringLiteral("TRUNCATED");
    case AnswerFault::Oversized:
        break;
    }
    return QStringLiteral("HUGE");
}

} // namespace zorviksim
