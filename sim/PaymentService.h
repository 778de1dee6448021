#pragma once

#include "sim/Order.h"
#include "sim/QuickPaySession.h"
#include "sim/Refund.h"
#include "sim/ServiceReply.h"

#include <QJsonObject>
#include <QList>
#include <QMutex>

#include <chrono>

namespace zorviksim {

// The business side of the simulated service: sessions, orders and returns, and the answers to
// the requests on them. Safe to call from the server's worker threads at once.
class PaymentService
{
public:
    PaymentService(std::chrono::milliseconds orderExpiry,
                   std::chrono::milliseconds slowAnswerDelay);

    ServiceReply startSession(const QJsonObject &request);
    ServiceReply createOrder(const QJsonObject &request);
    ServiceReply orderResult(const QString &clientTransaction);
    ServiceReply cancelOrder(const QJsonObject &request);
    ServiceReply returnOrder(const QJsonObject &request);

    // Sessions, orders and accepted returns, in the order they came.
    QJsonObject state();

private:
    ServiceReply registerOrder(Order order, const QString &quickpayId);
    ServiceReply acceptReturn(const Refund &refund);
    // The reply as the scenario spoils the request-th request of one kind of exchange.
    ServiceReply
    spoil(const ServiceReply &reply, const Scenario::StageFaults &faults, int request) const;
    // Looks the order up with any expiry applied; null when unknown.
    Order *currentOrder(const QString &clientTransaction);
    QuickPaySession *findSession(const QString &quickpayId);
    const Refund *findRefund(const QString &refundId) const;

    const std::chrono::milliseconds m_orderExpiry;
    const std::chrono::milliseconds m_slowAnswerDelay;
    QMutex m_mutex;
    // A simulator holds few of each; linear look-up keeps the order of arrival for free.
    QList<QuickPaySession> m_sessions;
    QList<Order> m_orders;
    QList<Refund> m_refunds;
};

} // namespace zorviksim
