#pragma once

#include "sim/AnswerFault.h"
#include "sim/ErrorCode.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <chrono>
#include <optional>

namespace zorviksim {

// What the simulated service answers to one request: a JSON body, or the answer as a fault
// spoils it, possibly late.
class ServiceReply
{
public:
    // Larger than any client should read into memory from this service.
    static constexpr qsizetype OversizedBytes = 9 * 1024 * 1024;

    static ServiceReply json(const QJsonObject &body, int httpStatus = 200);
    // The error envelope {"codeError": code, "error": message}.
    static ServiceReply failure(ErrorCode code, const QString &message, int httpStatus = 200);
    static ServiceReply spoilt(AnswerFault fault);

    ServiceReply delayedBy(std::chrono::milliseconds delay) const;

    // The fault that spoilt the answer; none for an answer as the request deserves it.
    std::optional<AnswerFault> fault() const { return m_fault; }
    bool dropsConnection() const { return m_fault == AnswerFault::DroppedConnection; }
    int httpStatus() const { return m_httpStatus; }
    std::chrono::milliseconds delay() const { return m_delay; }
    // Empty for a dropped connection.
    QByteArray body() const;
    QByteArray contentType() const;

private:
    ServiceReply(std::optional<AnswerFault> fault, int httpStatus, const QJsonObject &json);

    std::optional<AnswerFault> m_fault;
    int m_httpStatus;
    QJsonObject m_json;
    std::chrono::milliseconds m_delay{0};
};

} // namespace zorviksim
