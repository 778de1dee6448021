#pragma once

#include "sim/Order.h"
#include "sim/QuickPaySession.h"
#include "sim/Refund.h"
#include "sim/ServiceReply.h"
#include "sim/SimulatorOptions.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMutex>

#include <array>
#include <chrono>
#include <optional>

namespace zorviksim {

// The business side of the simulated service: sessions, orders and returns, and the answers to
// the requests on them. Safe to call from the server's worker threads at once.
class PaymentService
{
public:
    explicit PaymentService(const SimulatorOptions &options);

    ServiceReply startSession(const QJsonObject &request);
    ServiceReply createOrder(const QJsonObject &request);
    ServiceReply orderResult(const QString &clientTransaction);
    ServiceReply cancelOrder(const QJsonObject &request);
    ServiceReply returnOrder(const QJsonObject &request);

    // The customer's phone: {"client_transaction": ..., "state": "paid" | "declined"} decides
    // an order that waits for payment.
    ServiceReply decideByPhone(const QJsonObject &request);
    // {"client_transaction": ...}: an order that waits for payment expires now, as it would
    // when its time ran out.
    ServiceReply expireOrder(const QJsonObject &request);
    // {"stage": "order" | "status" | "return", "fault": word} spoils the next answer of the
    // stage with a fault word of the scenarios; an empty word takes the fault back.
    ServiceReply armFault(const QJsonObject &request);

    // Sessions, orders and accepted returns in the order they came (only the latest of each
    // when latest > 0), with the faults armed by hand.
    QJsonObject state(qsizetype latest = 0);
    // Forgets every session, order and return and the faults armed by hand; the body, a JSON
    // object, carries nothing.
    ServiceReply reset(const QJsonObject &request);

private:
    struct ArmedFault
    {
        QString word;
        Scenario::StageFaults faults;
    };

    ServiceReply registerOrder(Order order, const QString &quickpayId);
    ServiceReply acceptReturn(const Refund &refund);
    ServiceReply decideWaitingOrder(const QString &clientTransaction, Order::State end);
    // The reply as the scenario spoils the request-th request of the stage; a fault armed by
    // hand for the stage comes first and is used up.
    ServiceReply spoil(const ServiceReply &reply,
                       Scenario::Stage stage,
                       const Scenario::StageFaults &faults,
                       int request);
    // The reply as the faults spoil the request-th request of one kind of exchange.
    ServiceReply
    spoilt(const ServiceReply &reply, const Scenario::StageFaults &faults, int request) const;
    QJsonObject orderJson(Order &order, Order::Clock::time_point now) const;
    QJsonObject armedFaultsJson() const;
    // Looks the order up with any expiry applied; null when unknown.
    Order *currentOrder(const QString &clientTransaction);
    QuickPaySession *findSession(const QString &quickpayId);
    const Refund *findRefund(const QString &refundId) const;

    const std::chrono::milliseconds m_orderExpiry;
    const std::chrono::milliseconds m_slowAnswerDelay;
    const bool m_manual;
    QMutex m_mutex;
    // In the order of arrival, with indexes by id: a sandbox runs for days.
    QList<QuickPaySession> m_sessions;
    QHash<QString, qsizetype> m_sessionIndex;
    QList<Order> m_orders;
    QHash<QString, qsizetype> m_orderIndex;
    QList<Refund> m_refunds;
    QHash<QString, qsizetype> m_refundIndex;
    std::array<std::optional<ArmedFault>, 3> m_armedFaults;
};

} // namespace zorviksim
