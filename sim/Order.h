#pragma once

#include "sim/Scenario.h"

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <chrono>

namespace zorviksim {

// An order registered with the simulated service, from registration to its end and the returns
// made against it.
struct Order
{
    enum class State { Registered, Paid, Declined, Cancelled, Expired };
    using Clock = std::chrono::steady_clock;

    QString clientTransaction;
    QString quickpayId;
    QString cpqrPayload;
    QString posId;
    QString cashierId;
    QString comment;
    // The cart as the client sent it; undefined when it sent none.
    QJsonValue cart;
    qint64 costKopecks = 0;
    qint64 returnedKopecks = 0;
    QStringList refundIds;
    Scenario scenario;
    State state = State::Registered;
    int statusRequests = 0;
    int returnRequests = 0;
    Clock::time_point registeredAt;
    // Wall-clock times for people reading the sandbox; decidedAt is null while it waits.
    QDateTime createdAt;
    QDateTime decidedAt;

    bool isPaid() const { return state == State::Paid; }
    qint64 returnableKopecks() const { return costKopecks - returnedKopecks; }

    // Ends an order that waits for payment, at the time given; false when it no longer waits.
    bool decide(State end, const QDateTime &at);
    // An order nobody paid within the expiry is given up, as of the moment the expiry ran out.
    void expireIfOverdue(Clock::time_point now, std::chrono::milliseconds expiry);
    // Counts one status request and lets the scenario decide the order; returns the request's
    // number.
    int countStatusRequest();
    // The answer of "/cpqr/operation/result" for the order as it stands.
    QJsonObject statusAnswer() const;
    // The cart of a paid order as the service reports it: the sale items with "unit_price" as
    // decimal text.
    QJsonObject paidCart() const;
    QJsonObject toJson() const;

    static QString stateName(State state);
};

} // namespace zorviksim
