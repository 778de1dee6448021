#pragma once

#include "sim/AnswerFault.h"

#include <QJsonObject>
#include <QMap>
#include <QSet>
#include <QStringList>

namespace zorviksim {

// How the simulated service treats a quick-pay session and the orders registered in it, as
// chosen by the scanned payment code (see ScenarioParser).
struct Scenario
{
    // Manual: the customer's phone decides, from the page or its endpoint.
    enum class Outcome { Paid, Declined, Undecided, Manual };
    enum class Stage { Order, Status, Return };
    // The spoilt answers of one kind of exchange, by request number counted from 1: order
    // creations per session, status requests and returns per order.
    struct StageFaults
    {
        QMap<int, AnswerFault> answers;
        QSet<int> slowRequests;
    };

    Outcome outcome = Outcome::Paid;
    int outcomeAtStatusRequest = 1;
    bool refuseSession = false;
    bool manyLoyaltyIds = false;
    bool withoutCards = false;
    bool refuseOrder = false;
    bool slowOrder = false;
    bool refuseReturns = false;
    StageFaults orderFaults;
    StageFaults statusFaults;
    StageFaults returnFaults;
    // Words after the code that are no scenario word; kept so that a typo shows in the state.
    QStringList ignoredWords;

    // Only what differs from a plain payment besides the outcome, for the inspection endpoint.
    QJsonObject toJson() const;
};

} // namespace zorviksim
