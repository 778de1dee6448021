#include "sim/PaymentService.h"

#include "sim/Money.h"
#include "sim/RequestReader.h"
#include "sim/ScenarioParser.h"

#include <QJsonArray>
#include <QMutexLocker>

namespace zorviksim {

namespace {

ServiceReply invalidAmount()
{
    return ServiceReply::failure(ErrorCode::InvalidAmount, QStringLiteral("Некорректная сумма"));
}

ServiceReply unknownOrder()
{
    return ServiceReply::failure(ErrorCode::UnknownOrder, QStringLiteral("Заказ не найден"));
}

// Why the request is refused: a member missing or mistyped, or a cost that is no positive whole
// number of kopecks. Nothing when it is fine; the cost is then in costKopecks.
std::optional<ServiceReply> refusalOf(const RequestReader &reader, double cost, qint64 *costKopecks)
{
    if (reader.refusal())
        return reader.refusal();
    const std::optional<qint64> kopecks = kopecksFromRoubles(cost);
    if (!kopecks || *kopecks <= 0)
        return invalidAmount();
    *costKopecks = *kopecks;
    return std::nullopt;
}

} // namespace

PaymentService::PaymentService(std::chrono::milliseconds orderExpiry,
                               std::chrono::milliseconds slowAnswerDelay)
    : m_orderExpiry(orderExpiry)
    , m_slowAnswerDelay(slowAnswerDelay)
{}

ServiceReply PaymentService::startSession(const QJsonObject &request)
{
    RequestReader reader(request);
    const QString cpqrPayload = reader.text(QStringLiteral("cpqr_payload"));
    if (reader.refusal())
        return *reader.refusal();

    const Scenario scenario = ScenarioParser::parse(cpqrPayload);
    if (scenario.refuseSession) {
        return ServiceReply::failure(ErrorCode::SessionRefused,
                                     QStringLiteral("Платёжный код недействителен"));
    }
    const QuickPaySession session = QuickPaySession::open(cpqrPayload, scenario);
    QMutexLocker locker(&m_mutex);
    if (QuickPaySession *known = findSession(session.quickpayId))
        *known = session;
    else
        m_sessions.append(session);
    return ServiceReply::json(session.answer());
}

ServiceReply PaymentService::createOrder(const QJsonObject &request)
{
    RequestReader reader(request);
    Order order;
    order.cpqrPayload = reader.text(QStringLiteral("cpqr_payload"));
    const QString quickpayId = reader.text(QStringLiteral("quickpay_id"));
    order.clientTransaction = reader.text(QStringLiteral("client_transaction"));
    const double cost = reader.number(QStringLiteral("cost"));
    order.posId = reader.text(QStringLiteral("posId"), RequestReader::Emptiness::Allowed);
    order.cashierId = reader.text(QStringLiteral("cashierId"), RequestReader::Emptiness::Allowed);
    order.cart = reader.optionalObject(QStringLiteral("cart"));
    order.comment = reader.optionalText(QStringLiteral("comment"));
    if (const std::optional<ServiceReply> refusal = refusalOf(reader, cost, &order.costKopecks))
        return *refusal;

    QMutexLocker locker(&m_mutex);
    return registerOrder(order, quickpayId);
}

ServiceReply PaymentService::registerOrder(Order order, const QString &quickpayId)
{
    QuickPaySession *session = findSession(quickpayId);
    if (!session) {
        return ServiceReply::failure(ErrorCode::UnknownSession,
                                     QStringLiteral("Сессия быстрой оплаты не найдена"));
    }
    if (session->cpqrPayload != order.cpqrPayload) {
        return ServiceReply::failure(ErrorCode::PayloadMismatch,
                                     QStringLiteral("Платёжный код не совпадает с кодом сессии"));
    }
    if (currentOrder(order.clientTransaction)) {
        return ServiceReply::failure(
            ErrorCode::DuplicateTransaction,
            QStringLiteral("Заказ %1 уже зарегистрирован").arg(order.clientTransaction));
    }
    if (session->scenario.refuseOrder) {
        return ServiceReply::failure(ErrorCode::OrderRefused,
                                     QStringLiteral("Сервис отказал в регистрации заказа"));
    }
    order.quickpayId = quickpayId;
    order.scenario = session->scenario;
    order.registeredAt = Order::Clock::now();
    m_orders.append(order);

    const ServiceReply reply = ServiceReply::json({
        {QStringLiteral("payment_status"), QStringLiteral("started")},
        {QStringLiteral("client_transaction"), order.clientTransaction},
        {QStringLiteral("quickpay_id"), quickpayId},
    });
    const ServiceReply spoilt = spoil(reply, order.scenario.orderFaults, ++session->orderRequests);
    return order.scenario.slowOrder ? spoilt.delayedBy(m_slowAnswerDelay) : spoilt;
}

ServiceReply PaymentService::orderResult(const QString &clientTransaction)
{
    // The identifier comes as a query item; it is held to the same rule as a body member.
    RequestReader reader({{QStringLiteral("client_transaction"), clientTransaction}});
    reader.text(QStringLiteral("client_transaction"));
    if (reader.refusal())
        return *reader.refusal();

    QMutexLocker locker(&m_mutex);
    Order *order = currentOrder(clientTransaction);
    if (!order)
        return unknownOrder();
    const int request = order->countStatusRequest();
    return spoil(ServiceReply::json(order->statusAnswer()), order->scenario.statusFaults, request);
}

ServiceReply PaymentService::spoil(const ServiceReply &reply,
                                   const Scenario::StageFaults &faults,
                                   int request) const
{
    const auto fault = faults.answers.constFind(request);
    const ServiceReply spoilt
        = fault != faults.answers.cend() ? ServiceReply::spoilt(*fault) : reply;
    return faults.slowRequests.contains(request) ? spoilt.delayedBy(m_slowAnswerDelay) : spoilt;
}

ServiceReply PaymentService::cancelOrder(const QJsonObject &request)
{
    RequestReader reader(request);
    const QString clientTransaction = reader.text(QStringLiteral("client_transaction"));
    if (reader.refusal())
        return *reader.refusal();

    QMutexLocker locker(&m_mutex);
    Order *order = currentOrder(clientTransaction);
    if (!order)
        return unknownOrder();
    if (order->isPaid()) {
        return ServiceReply::failure(ErrorCode::OrderAlreadyPaid,
                                     QStringLiteral("Заказ уже оплачен, отмена невозможна"));
    }
    // An order that already ended unpaid stays as it ended; cancelling it again is harmless.
    if (order->state == Order::State::Registered)
        order->state = Order::State::Cancelled;
    return ServiceReply::json({
        {QStringLiteral("client_transaction"), clientTransaction},
        {QStringLiteral("status"), 1},
        {QStringLiteral("result"), true},
    });
}

ServiceReply PaymentService::returnOrder(const QJsonObject &request)
{
    RequestReader reader(request);
    Refund refund;
    const double cost = reader.number(QStringLiteral("cost"));
    refund.clientTransaction = reader.text(QStringLiteral("client_transaction"));
    refund.refundId = reader.text(QStringLiteral("refundId"));
    refund.refundCart = reader.optionalObject(QStringLiteral("refundCart"));
    if (const std::optional<ServiceReply> refusal = refusalOf(reader, cost, &refund.costKopecks))
        return *refusal;

    QMutexLocker locker(&m_mutex);
    const ServiceReply reply = acceptReturn(refund);
    Order *order = currentOrder(refund.clientTransaction);
    if (!order)
        return reply;
    return spoil(reply, order->scenario.returnFaults, ++order->returnRequests);
}

ServiceReply PaymentService::acceptReturn(const Refund &refund)
{
    if (const Refund *done = findRefund(refund.refundId)) {
        if (done->clientTransaction == refund.clientTransaction)
            return ServiceReply::json(done->answer());
        return ServiceReply::failure(ErrorCode::RefundIdConflict,
                                     QStringLiteral("refundId %1 уже использован для другого "
                                                    "заказа")
                                         .arg(refund.refundId));
    }
    Order *order = currentOrder(refund.clientTransaction);
    if (!order)
        return unknownOrder();
    if (order->scenario.refuseReturns) {
        return ServiceReply::failure(ErrorCode::ReturnRefused,
                                     QStringLiteral("Возврат отклонён сервисом"));
    }
    if (!order->isPaid()) {
        return ServiceReply::failure(ErrorCode::OrderNotPaid,
                                     QStringLiteral("Заказ не оплачен, возврат невозможен"));
    }
    if (refund.costKopecks > order->returnableKopecks()) {
        return ServiceReply::failure(
            ErrorCode::ReturnExceedsPaid,
            QStringLiteral("Сумма возврата превышает остаток к возврату (%1)")
                .arg(QString::number(roublesFromKopecks(order->returnableKopecks()), 'f', 2)));
    }
    order->returnedKopecks += refund.costKopecks;
    order->refundIds.append(refund.refundId);
    m_refunds.append(refund);
    return ServiceReply::json(refund.answer());
}

QJsonObject PaymentService::state()
{
    QMutexLocker locker(&m_mutex);
    QJsonArray sessions;
    for (const QuickPaySession &session : std::as_const(m_sessions))
        sessions.append(session.toJson());
    QJsonArray orders;
    const Order::Clock::time_point now = Order::Clock::now();
    for (Order &order : m_orders) {
        order.expireIfOverdue(now, m_orderExpiry);
        orders.append(order.toJson());
    }
    QJsonArray returns;
    for (const Refund &refund : std::as_const(m_refunds))
        returns.append(refund.toJson());
    return {
        {QStringLiteral("sessions"), sessions},
        {QStringLiteral("orders"), orders},
        {QStringLiteral("returns"), returns},
    };
}

Order *PaymentService::currentOrder(const QString &clientTransaction)
{
    for (Order &order : m_orders) {
        if (order.clientTransaction == clientTransaction) {
            order.expireIfOverdue(Order::Clock::now(), m_orderExpiry);
            return &order;
        }
    }
    return nullptr;
}

QuickPaySession *PaymentService::findSession(const QString &quickpayId)
{
    for (QuickPaySession &session : m_sessions) {
        if (session.quickpayId == quickpayId)
            return &session;
    }
    return nullptr;
}

const Refund *PaymentService::findRefund(const QString &refundId) const
{
    for (const Refund &refund : m_refunds) {
        if (refund.refundId == refundId)
            return &refund;
    }
    return nullptr;
}

} // namespace zorviksim
