#include "sim/ServiceReply.h"

#include <QJsonDocument>

namespace zorviksim {

ServiceReply::ServiceReply(Form form, int httpStatus, const QJsonObject &json)
    : m_form(form)
    , m_httpStatus(httpStatus)
    , m_json(json)
{}

ServiceReply ServiceReply::json(const QJsonObject &body, int httpStatus)
{
    return ServiceReply(Form::Json, httpStatus, body);
}

ServiceReply ServiceReply::failure(ErrorCode code, const QString &message, int httpStatus)
{
    return json(
        {{QStringLiteral("codeError"), static_cast<int>(code)}, {QStringLiteral("error"), message}},
        httpStatus);
}

ServiceReply ServiceReply::broken(Form form)
{
    const int httpStatus = form == Form::Html500 ? 500 : form == Form::EmptyBadGateway ? 502 : 200;
    return ServiceReply(form, httpStatus, {});
}

ServiceReply ServiceReply::delayedBy(std::chrono::milliseconds delay) const
{
    ServiceReply delayed = *this;
    delayed.m_delay = delay;
    return delayed;
}

QByteArray ServiceReply::body() const
{
    switch (m_form) {
    case Form::Json:
        return QJsonDocument(m_json).toJson(QJsonDocument::Compact);
    case Form::NotJson:
        return "status: processing\n";
    case Form::Html500:
        return "<html><head><title>500 Internal Server Error</title></head>\n"
               "<body><h1>500 Internal Server Error</h1><hr><p>upstream failed</p></body>"
               "</html>\n";
    case Form::JsonArray:
        return R"([{"status":1,"result":true}])";
    case Form::TruncatedJson:
        return R"({"status":1,"result":true,"cart":{"items":[{"title":")";
    case Form::Oversized: {
        QByteArray body = R"({"padding":")";
        body.append(OversizedBytes, 'x');
        return body + R"("})";
    }
    case Form::EmptyBadGateway:
    case Form::DroppedConnection:
        break;
    }
    return {};
}

const char *ServiceReply::contentType() const
{
    switch (m_form) {
    case Form::Json:
    case Form::JsonArray:
    case Form::TruncatedJson:
    case Form::Oversized:
        return "application/json; charset=utf-8";
    case Form::Html500:
        return "text/html";
    case Form::NotJson:
    case Form::EmptyBadGateway:
    case Form::DroppedConnection:
        break;
    }
    return "text/plain";
}

} // namespace zorviksim
