#include "sim/QuickPaySession.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QUuid>

namespace zorviksim {

namespace {

const QUuid SessionNamespace = QUuid::fromString(u"8d3c1f0e-5b2a-4e67-9a41-0c7f2d9b6e13");
constexpr int LoyaltyIdsOfLoyalCustomer = 3;

// Decimal digits that depend only on the seed, so that every run gives the same numbers.
QString digitsFor(const QString &seed, int count)
{
    const QByteArray hash = QCryptographicHash::hash(seed.toUtf8(), QCryptographicHash::Sha256);
    QString digits;
    for (int i = 0; i < count; ++i)
        digits += QChar(u'0' + static_cast<unsigned char>(hash.at(i % hash.size())) % 10);
    return digits;
}

} // namespace

QuickPaySession QuickPaySession::open(const QString &cpqrPayload, const Scenario &scenario)
{
    QuickPaySession session;
    session.cpqrPayload = cpqrPayload;
    session.scenario = scenario;
    session.quickpayId
        = QStringLiteral("qp-")
          + QUuid::createUuidV5(SessionNamespace, cpqrPayload).toString(QUuid::WithoutBraces);
    if (scenario.withoutCards)
        return session;
    session.merchantPayload
        = QStringLiteral("7700") + digitsFor(QStringLiteral("merchant:") + cpqrPayload, 12);
    const int loyaltyIdCount = scenario.manyLoyaltyIds ? LoyaltyIdsOfLoyalCustomer : 1;
    for (int i = 0; i < loyaltyIdCount; ++i) {
        const QString seed = QStringLiteral("loyalty:%1:%2").arg(i).arg(cpqrPayload);
        session.loyaltyIds.append(QStringLiteral("2900") + digitsFor(seed, 9));
    }
    return session;
}

QJsonObject QuickPaySession::answer() const
{
    QJsonObject answer{
        {QStringLiteral("quickpay_id"), quickpayId},
        {QStringLiteral("loyalty"),
         QJsonObject{{QStringLiteral("loyalty_ids"), QJsonArray::fromStringList(loyaltyIds)}}},
    };
    if (!merchantPayload.isEmpty())
        answer.insert(QStringLiteral("merchant_payload"), merchantPayload);
    return answer;
}

QJsonObject QuickPaySession::toJson() const
{
    QJsonObject json = answer();
    json.insert(QStringLiteral("cpqr_payload"), cpqrPayload);
    json.insert(QStringLiteral("scenario"), scenario.toJson());
    return json;
}

} // namespace zorviksim
