#include "sim/Scenario.h"

#include <QJsonArray>

#include <algorithm>

namespace zorviksim {

namespace {

QString outcomeName(Scenario::Outcome outcome)
{
    switch (outcome) {
    case Scenario::Outcome::Paid:
        return QStringLiteral("paid");
    case Scenario::Outcome::Declined:
        return QStringLiteral("declined");
    case Scenario::Outcome::Undecided:
        break;
    }
    return QStringLiteral("undecided");
}

QString faultName(Scenario::StatusFault fault)
{
    switch (fault) {
    case Scenario::StatusFault::ErrorEnvelope:
        return QStringLiteral("errorEnvelope");
    case Scenario::StatusFault::DroppedConnection:
        return QStringLiteral("droppedConnection");
    case Scenario::StatusFault::NotJson:
        return QStringLiteral("notJson");
    case Scenario::StatusFault::Html500:
        break;
    }
    return QStringLiteral("html500");
}

void insertFlag(QJsonObject &json, const QString &key, bool flag)
{
    if (flag)
        json.insert(key, true);
}

} // namespace

QJsonObject Scenario::toJson() const
{
    QJsonObject json{{QStringLiteral("outcome"), outcomeName(outcome)}};
    if (outcome != Outcome::Undecided)
        json.insert(QStringLiteral("atStatusRequest"), outcomeAtStatusRequest);
    insertFlag(json, QStringLiteral("refuseSession"), refuseSession);
    insertFlag(json, QStringLiteral("manyLoyaltyIds"), manyLoyaltyIds);
    insertFlag(json, QStringLiteral("withoutCards"), withoutCards);
    insertFlag(json, QStringLiteral("refuseOrder"), refuseOrder);
    insertFlag(json, QStringLiteral("slowOrder"), slowOrder);
    insertFlag(json, QStringLiteral("refuseReturns"), refuseReturns);
    if (!slowStatusRequests.isEmpty()) {
        QList<int> requests(slowStatusRequests.cbegin(), slowStatusRequests.cend());
        std::sort(requests.begin(), requests.end());
        QJsonArray slow;
        for (const int request : std::as_const(requests))
            slow.append(request);
        json.insert(QStringLiteral("slowStatusRequests"), slow);
    }
    if (!statusFaults.isEmpty()) {
        QJsonObject faults;
        for (auto it = statusFaults.cbegin(); it != statusFaults.cend(); ++it)
            faults.insert(QString::number(it.key()), faultName(it.value()));
        json.insert(QStringLiteral("statusFaults"), faults);
    }
    if (!ignoredWords.isEmpty())
        json.insert(QStringLiteral("ignoredWords"), QJsonArray::fromStringList(ignoredWords));
    return json;
}

} // namespace zorviksim
