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
    return ServiceReply(form, form == Form::Html500 ? 500 : 200, {});
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
    case Form::DroppedConnection:
        break;
    }
    return {};
}

const char *ServiceReply::contentType() const
{
    switch (m_form) {
    case Form::Json:
        return "application/json; charset=utf-8";
    case Form::Html500:
        return "text/html";
    case Form::NotJson:
    case Form::DroppedConnection:
        break;
    }
    return "text/plain";
}

} // namespace zorviksim
