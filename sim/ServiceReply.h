#pragma once

#include "sim/ErrorCode.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <chrono>

namespace zorviksim {

// What the simulated service answers to one request: a JSON body, or one of the broken answers
// the scenarios ask for, possibly late.
class ServiceReply
{
public:
    enum class Form {
        Json,
        NotJson,
        Html500,
        EmptyBadGateway, // HTTP 502 without a body
        JsonArray,
        TruncatedJson,
        Oversized, // a JSON object larger than OversizedBytes
        DroppedConnection,
    };

    // Larger than any client should read into memory from this service.
    static constexpr qsizetype OversizedBytes = 9 * 1024 * 1024;

    static ServiceReply json(const QJsonObject &body, int httpStatus = 200);
    // The error envelope {"codeError": code, "error": message}.
    static ServiceReply failure(ErrorCode code, const QString &message, int httpStatus = 200);
    static ServiceReply broken(Form form);

    ServiceReply delayedBy(std::chrono::milliseconds delay) const;

    Form form() const { return m_form; }
    int httpStatus() const { return m_httpStatus; }
    std::chrono::milliseconds delay() const { return m_delay; }
    // Empty for a dropped connection.
    QByteArray body() const;
    const char *contentType() const;

private:
    ServiceReply(Form form, int httpStatus, const QJsonObject &json);

    Form m_form;
    int m_httpStatus;
    QJsonObject m_json;
    std::chrono::milliseconds m_delay{0};
};

} // namespace zorviksim
