#include "sim/Order.h"

#include "sim/Money.h"

#include <QJsonArray>

namespace zorviksim {

namespace {

// The service writes unit prices as text with two decimals and a dot.
QString priceText(double price)
{
    return QString::number(price, 'f', 2);
}

QJsonValue unitPriceText(const QJsonObject &item)
{
    const QJsonValue unitPrice = item.value(QStringLiteral("unit_price"));
    if (unitPrice.isString())
        return unitPrice;
    if (unitPrice.isDouble())
        return priceText(unitPrice.toDouble());
    const double count = item.value(QStringLiteral("quantity"))
                             .toObject()
                             .value(QStringLiteral("count"))
                             .toDouble();
    const double cost = item.value(QStringLiteral("cost")).toDouble();
    return priceText(count != 0.0 ? cost / count : cost);
}

QJsonObject paidItem(const QJsonObject &item)
{
    QJsonObject paid;
    for (const char *key : {"productId", "quantity", "title", "cost"}) {
        const QString name = QLatin1String(key);
        if (item.contains(name))
            paid.insert(name, item.value(name));
    }
    paid.insert(QStringLiteral("unit_price"), unitPriceText(item));
    return paid;
}

// UTC with milliseconds, which a browser reads in its own time zone; null when not yet.
QJsonValue timeText(const QDateTime &time)
{
    return time.isValid() ? QJsonValue(time.toString(Qt::ISODateWithMs)) : QJsonValue();
}

} // namespace

bool Order::decide(State end, const QDateTime &at)
{
    if (state != State::Registered)
        return false;
    state = end;
    decidedAt = at;
    return true;
}

void Order::expireIfOverdue(Clock::time_point now, std::chrono::milliseconds expiry)
{
    if (state == State::Registered && now - registeredAt >= expiry)
        decide(State::Expired, createdAt.addDuration(expiry));
}

int Order::countStatusRequest()
{
    ++statusRequests;
    if (state == State::Registered && statusRequests >= scenario.outcomeAtStatusRequest) {
        switch (scenario.outcome) {
        case Scenario::Outcome::Paid:
            decide(State::Paid, QDateTime::currentDateTimeUtc());
            break;
        case Scenario::Outcome::Declined:
            decide(State::Declined, QDateTime::currentDateTimeUtc());
            break;
        case Scenario::Outcome::Undecided:
        case Scenario::Outcome::Manual:
            break;
        }
    }
    return statusRequests;
}

QJsonObject Order::statusAnswer() const
{
    QJsonObject answer{{QStringLiteral("client_transaction"), clientTransaction}};
    if (state == State::Registered) {
        answer.insert(QStringLiteral("status"), 0);
        return answer;
    }
    answer.insert(QStringLiteral("status"), 1);
    answer.insert(QStringLiteral("result"), isPaid());
    if (isPaid())
        answer.insert(QStringLiteral("cart"), paidCart());
    return answer;
}

QJsonObject Order::paidCart() const
{
    QJsonArray items;
    const QJsonArray saleItems = cart.toObject().value(QStringLiteral("items")).toArray();
    for (const QJsonValue &item : saleItems)
        items.append(paidItem(item.toObject()));
    return {{QStringLiteral("items"), items}};
}

QJsonObject Order::toJson() const
{
    return {
        {QStringLiteral("client_transaction"), clientTransaction},
        {QStringLiteral("state"), stateName(state)},
        {QStringLiteral("quickpay_id"), quickpayId},
        {QStringLiteral("cpqr_payload"), cpqrPayload},
        {QStringLiteral("cost"), roublesFromKopecks(costKopecks)},
        {QStringLiteral("returned"), roublesFromKopecks(returnedKopecks)},
        {QStringLiteral("refunds"), QJsonArray::fromStringList(refundIds)},
        {QStringLiteral("cart"), cart.isUndefined() ? QJsonValue() : cart},
        {QStringLiteral("comment"), comment},
        {QStringLiteral("posId"), posId},
        {QStringLiteral("cashierId"), cashierId},
        {QStringLiteral("statusRequests"), statusRequests},
        {QStringLiteral("returnRequests"), returnRequests},
        {QStringLiteral("createdAt"), timeText(createdAt)},
        {QStringLiteral("decidedAt"), timeText(decidedAt)},
    };
}

QString Order::stateName(State state)
{
    switch (state) {
    case State::Registered:
        return QStringLiteral("registered");
    case State::Paid:
        return QStringLiteral("paid");
    case State::Declined:
        return QStringLiteral("declined");
    case State::Cancelled:
        return QStringLiteral("cancelled");
    case State::Expired:
        break;
    }
    return QStringLiteral("expired");
}

} // namespace zorviksim
