#include "sim/ServiceReply.h"

#include <QJsonDocument>

namespace zorviksim {

namespace {

int httpStatusOf(AnswerFault fault)
{
    switch (fault) {
    case AnswerFault::Html500:
        return 500;
    case AnswerFault::EmptyBadGateway:
        return 502;
    default:
        return 200;
    }
}

} // namespace

ServiceReply::ServiceReply(std::optional<AnswerFault> fault,
                           int httpStatus,
                           const QJsonObject &json)
    : m_fault(fault)
    , m_httpStatus(httpStatus)
    , m_json(json)
{}

ServiceReply ServiceReply::json(const QJsonObject &body, int httpStatus)
{
    return ServiceReply(std::nullopt, httpStatus, body);
}

ServiceReply ServiceReply::failure(ErrorCode code, const QString &message, int httpStatus)
{
    return json(
        {{QStringLiteral("codeError"), static_cast<int>(code)}, {QStringLiteral("error"), message}},
        httpStatus);
}

ServiceReply ServiceReply::spoilt(AnswerFault fault)
{
    ServiceReply reply(fault, httpStatusOf(fault), {});
    if (fault == AnswerFault::ErrorEnvelope) {
        reply.m_json = failure(ErrorCode::StatusUnavailable,
                               QStringLiteral("Статус заказа временно недоступен"))
                           .m_json;
    }
    return reply;
}

ServiceReply ServiceReply::delayedBy(std::chrono::milliseconds delay) const
{
    ServiceReply delayed = *this;
    delayed.m_delay = delay;
    return delayed;
}

QByteArray ServiceReply::body() const
{
    switch (m_fault.value_or(AnswerFault::ErrorEnvelope)) {
    case AnswerFault::ErrorEnvelope:
        return QJsonDocument(m_json).toJson(QJsonDocument::Compact);
    case AnswerFault::NotJson:
        return "status: processing\n";
    case AnswerFault::Html500:
        return "<html><head><title>500 Internal Server Error</title></head>\n"
               "<body><h1>500 Internal Server Error</h1><hr><p>upstream failed</p></body>"
               "</html>\n";
    case AnswerFault::JsonArray:
        return R"([{"status":1,"result":true}])";
    case AnswerFault::TruncatedJson:
        return R"({"status":1,"result":true,"cart":{"items":[{"title":")";
    case AnswerFault::Oversized: {
        QByteArray body = R"({"padding":")";
        body.append(OversizedBytes, 'x');
        return body + R"("})";
    }
    case AnswerFault::EmptyBadGateway:
    case AnswerFault::DroppedConnection:
        break;
    }
    return {};
}

QByteArray ServiceReply::contentType() const
{
    switch (m_fault.value_or(AnswerFault::ErrorEnvelope)) {
    case AnswerFault::ErrorEnvelope:
    case AnswerFault::JsonArray:
    case AnswerFault::TruncatedJson:
    case AnswerFault::Oversized:
        return "application/json; charset=utf-8";
    case AnswerFault::Html500:
        return "text/html";
    case AnswerFault::NotJson:
    case AnswerFault::EmptyBadGateway:
    case AnswerFault::DroppedConnection:
        break;
    }
    return "text/plain";
}

} // namespace zorviksim
