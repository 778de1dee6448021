#include "api/StartSessionResult.h"

#include <QJsonArray>

namespace zorvikcpqr {

StartSessionResult::StartSessionResult(const RequestResult &result)
    : RequestResult(result)
{}

bool StartSessionResult::success() const
{
    return !quickpayId().isEmpty();
}

QString StartSessionResult::quickpayId() const
{
    return textMember(QStringLiteral("quickpay_id"));
}

QString StartSessionResult::merchantPayload() const
{
    return textMember(QStringLiteral("merchant_payload"));
}

QStringList StartSessionResult::loyaltyIds() const
{
    // The walk descends while it meets objects; the first member that is not an object ends
    // it, even with names left, and is what the identifiers are read from.
    QJsonObject current = json;
    QJsonValue found;
    for (const QString &name : QStringLiteral("loyalty.loyalty_ids").split(QLatin1Char('.'))) {
        const QJsonValue member = current.value(name);
        if (!member.isObject()) {
            found = member;
            break;
        }
        current = member.toObject();
    }

    QStringList ids;
    for (const QJsonValue &element : found.toArray()) {
        const QString id = element.toString();
        if (!id.isEmpty())
            ids.append(id);
    }
    return ids;
}

} // namespace zorvikcpqr
