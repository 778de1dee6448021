#pragma once

#include <QJsonObject>
#include <QMap>
#include <QSet>
#include <QStringList>

namespace zorviksim {

// How the simulated service treats a quick-pay session and the orders registered in it, as
// chosen by the scanned payment code (see ScenarioParser). Status requests are counted per
// order from 1.
struct Scenario
{
    enum class Outcome { Paid, Declined, Undecided };
    // What replaces the answer of one status request; the order progresses all the same.
    enum class StatusFault { ErrorEnvelope, DroppedConnection, NotJson, Html500 };

    Outcome outcome = Outcome::Paid;
    int outcomeAtStatusRequest = 1;
    bool refuseSession = false;
    bool manyLoyaltyIds = false;
    bool withoutCards = false;
    bool refuseOrder = false;
    bool slowOrder = false;
    bool refuseReturns = false;
    QSet<int> slowStatusRequests;
    QMap<int, StatusFault> statusFaults;
    // Words after the code that are no scenario word; kept so that a typo shows in the state.
    QStringList ignoredWords;

    // Only what differs from a plain payment besides the outcome, for the inspection endpoint.
    QJsonObject toJson() const;
};

} // namespace zorviksim
