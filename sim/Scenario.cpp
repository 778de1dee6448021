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
    case Scenario::Outcome::Manual:
        return QStringLiteral("manual");
    case Scenario::Outcome::Undecided:
        break;
    }
    return QStringLiteral("undecided");
}

void insertFlag(QJsonObject &json, const QString &key, bool flag)
{
    if (flag)
        json.insert(key, true);
}

// "<stage>Faults" and "slow<Stage>Requests", each only when there is one.
void insertStageFaults(QJsonObject &json, const QString &stage, const Scenario::StageFaults &faults)
{
    if (!faults.slowRequests.isEmpty()) {
        QList<int> requests(faults.slowRequests.cbegin(), faults.slowRequests.cend());
        std::sort(requests.begin(), requests.end());
        QJsonArray slow;
        for (const int request : std::as_const(requests))
            slow.append(request);
        const QString capitalised = stage.left(1).toUpper() + stage.mid(1);
        json.insert(QStringLiteral("slow%1Requests").arg(capitalised), slow);
    }
    if (!faults.answers.isEmpty()) {
        QJsonObject answers;
        for (auto it = faults.answers.cbegin(); it != faults.answers.cend(); ++it)
            answers.insert(QString::number(it.key()), answerFaultWord(it.value()));
        json.insert(stage + QStringLiteral("Faults"), answers);
    }
}

} // namespace

QJsonObject Scenario::toJson() const
{
    QJsonObject json{{QStringLiteral("outcome"), outcomeName(outcome)}};
    if (outcome == Outcome::Paid || outcome == Outcome::Declined)
        json.insert(QStringLiteral("atStatusRequest"), outcomeAtStatusRequest);
    insertFlag(json, QStringLiteral("refuseSession"), refuseSession);
    insertFlag(json, QStringLiteral("manyLoyaltyIds"), manyLoyaltyIds);
    insertFlag(json, QStringLiteral("withoutCards"), withoutCards);
    insertFlag(json, QStringLiteral("refuseOrder"), refuseOrder);
    insertFlag(json, QStringLiteral("slowOrder"), slowOrder);
    insertFlag(json, QStringLiteral("refuseReturns"), refuseReturns);
    insertStageFaults(json, QStringLiteral("order"), orderFaults);
    insertStageFaults(json, QStringLiteral("status"), statusFaults);
    insertStageFaults(json, QStringLiteral("return"), returnFaults);
    if (!ignoredWords.isEmpty())
        json.insert(QStringLiteral("ignoredWords"), QJsonArray::fromStringList(ignoredWords));
    return json;
}

} // namespace zorviksim
