#pragma once

#include "sim/ServiceReply.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

namespace zorviksim {

// Reads the members of a request body the way the service insists on them: the first missing
// or mistyped member becomes the refusal of the whole request.
class RequestReader
{
public:
    enum class Emptiness { Refused, Allowed };

    explicit RequestReader(const QJsonObject &body);

    QString text(const QString &key, Emptiness emptiness = Emptiness::Refused);
    // Empty when absent.
    QString optionalText(const QString &key);
    double number(const QString &key);
    // Undefined when absent.
    QJsonValue optionalObject(const QString &key);

    // Set once a member was wrong; names the first one.
    const std::optional<ServiceReply> &refusal() const { return m_refusal; }

private:
    void refuse(const QString &key);

    QJsonObject m_body;
    std::optional<ServiceReply> m_refusal;
};

} // namespace zorviksim
