#include "sim/AnswerFault.h"

namespace zorviksim {

QString answerFaultName(AnswerFault fault)
{
    switch (fault) {
    case AnswerFault::ErrorEnvelope:
        return QStringLiteral("errorEnvelope");
    case AnswerFault::DroppedConnection:
        return QStringLiteral("droppedConnection");
    case AnswerFault::NotJson:
        return QStringLiteral("notJson");
    case AnswerFault::Html500:
        return QStringLiteral("html500");
    case AnswerFault::EmptyBadGateway:
        return QStringLiteral("emptyBadGateway");
    case AnswerFault::JsonArray:
        return QStringLiteral("jsonArray");
    case AnswerFault::TruncatedJson:
        return QStringLiteral("truncatedJson");
    case AnswerFault::Oversized:
        break;
    }
    return QStringLiteral("oversized");
}

} // namespace zorviksim
