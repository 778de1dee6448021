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

ServiceReply invalidRequest(const QString &message)
{
    return ServiceReply::failure(ErrorCode::InvalidRequest, message, 400);
}

struct StageName
{
    const char *name;
    Scenario::Stage stage;
};

const StageName StageNames[] = {
    {"order", Scenario::Stage::Order},
    {"status", Scenario::Stage::Status},
    {"return", Scenario::Stage::Return},
};

std::optional<Scenario::Stage> stageNamed(const QString &name)
{
    for (const StageName &entry : StageNames) {
        if (name == QLatin1String(entry.name))
            return entry.stage;
    }
    return std::nullopt;
}

// The end a phone chooses for an order: "paid" or "declined".
std::optional<Order::State> phoneDecision(const QString &state)
{
    for (const Order::State decision : {Order::State::Paid, Order::State::Declined}) {
        if (state == Order::stateName(decision))
            return decision;
    }
    return std::nullopt;
}

template<typename Record>
QJsonArray latestOf(const QList<Record> &records, qsizetype latest)
{
    QJsonArray json;
    const qsizetype first = latest > 0 ? qMax<qsizetype>(0, records.size() - latest) : 0;
    for (qsizetype i = first; i < records.size(); ++i)
        json.append(records.at(i).toJson());
    return json;
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

PaymentService::PaymentService(const SimulatorOptions &options)
    : m_orderExpiry(options.orderExpiry)
    , m_slowAnswerDelay(options.slowAnswerDelay)
    , m_manual(options.manual)
{}

ServiceReply PaymentService::startSession(const QJsonObject &request)
{
    RequestReader reader(request);
    const QString cpqrPayload = reader.text(QStringLiteral("cpqr_payload"));
    if (reader.refusal())
        return *reader.refusal();

    Scenario scenario = ScenarioParser::parse(cpqrPayload);
    if (m_manual)
        scenario.outcome = Scenario::Outcome::Manual;
    if (scenario.refuseSession) {
        return ServiceReply::failure(ErrorCode::SessionRefused,
                                     QStringLiteral("Платёжный код недействителен"));
    }
    const QuickPaySession session = QuickPaySession::open(cpqrPayload, scenario);
    QMutexLocker locker(&m_mutex);
    if (QuickPaySession *known = findSession(session.quickpayId)) {
        *known = session;
    } else {
        m_sessionIndex.insert(session.quickpayId, m_sessions.size());
        m_sessions.append(session);
    }
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
    order.createdAt = QDateTime::currentDateTimeUtc();
    m_orderIndex.insert(order.clientTransaction, m_orders.size());
    m_orders.append(order);

    const ServiceReply reply = ServiceReply::json({
        {QStringLiteral("payment_status"), QStringLiteral("started")},
        {QStringLiteral("client_transaction"), order.clientTransaction},
        {QStringLiteral("quickpay_id"), quickpayId},
    });
    const ServiceReply spoilt = spoil(
        reply, Scenario::Stage::Order, order.scenario.orderFaults, ++session->orderRequests);
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
    return spoil(ServiceReply::json(order->statusAnswer()),
                 Scenario::Stage::Status,
                 order->scenario.statusFaults,
                 request);
}

ServiceReply PaymentService::spoil(const ServiceReply &reply,
                                   Scenario::Stage stage,
                                   const Scenario::StageFaults &faults,
                                   int request)
{
    std::optional<ArmedFault> &armed = m_armedFaults.at(static_cast<size_t>(stage));
    if (!armed)
        return spoilt(reply, faults, request);
    const Scenario::StageFaults byHand = armed->faults;
    armed.reset();
    return spoilt(reply, byHand, 1);
}

ServiceReply PaymentService::spoilt(const ServiceReply &reply,
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
    order->decide(Order::State::Cancelled, QDateTime::currentDateTimeUtc());
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
    return spoil(
        reply, Scenario::Stage::Return, order->scenario.returnFaults, ++order->returnRequests);
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
    m_refundIndex.insert(refund.refundId, m_refunds.size());
    m_refunds.append(refund);
    return ServiceReply::json(refund.answer());
}

ServiceReply PaymentService::decideByPhone(const QJsonObject &request)
{
    RequestReader reader(request);
    const QString clientTransaction = reader.text(QStringLiteral("client_transaction"));
    const QString stateName = reader.text(QStringLiteral("state"));
    if (reader.refusal())
        return *reader.refusal();
    const std::optional<Order::State> decision = phoneDecision(stateName);
    if (!decision)
        return invalidRequest(QStringLiteral("Неизвестное состояние заказа: %1").arg(stateName));

    QMutexLocker locker(&m_mutex);
    return decideWaitingOrder(clientTransaction, *decision);
}

ServiceReply PaymentService::expireOrder(const QJsonObject &request)
{
    RequestReader reader(request);
    const QString clientTransaction = reader.text(QStringLiteral("client_transaction"));
    if (reader.refusal())
        return *reader.refusal();

    QMutexLocker locker(&m_mutex);
    return decideWaitingOrder(clientTransaction, Order::State::Expired);
}

ServiceReply PaymentService::decideWaitingOrder(const QString &clientTransaction, Order::State end)
{
    Order *order = currentOrder(clientTransaction);
    if (!order)
        return unknownOrder();
    if (!order->decide(end, QDateTime::currentDateTimeUtc())) {
        return ServiceReply::failure(
            ErrorCode::OrderNotWaiting,
            QStringLiteral("Заказ не ожидает оплаты: %1").arg(Order::stateName(order->state)));
    }
    return ServiceReply::json({{QStringLiteral("client_transaction"), clientTransaction},
                               {QStringLiteral("state"), Order::stateName(end)}});
}

ServiceReply PaymentService::reset(const QJsonObject &)
{
    QMutexLocker locker(&m_mutex);
    m_sessions.clear();
    m_sessionIndex.clear();
    m_orders.clear();
    m_orderIndex.clear();
    m_refunds.clear();
    m_refundIndex.clear();
    m_armedFaults.fill(std::nullopt);
    return ServiceReply::json({{QStringLiteral("reset"), true}});
}

ServiceReply PaymentService::armFault(const QJsonObject &request)
{
    RequestReader reader(request);
    const QString stageName = reader.text(QStringLiteral("stage"));
    const QString word = reader.text(QStringLiteral("fault"), RequestReader::Emptiness::Allowed);
    if (reader.refusal())
        return *reader.refusal();
    const std::optional<Scenario::Stage> stage = stageNamed(stageName);
    const std::optional<Scenario::StageFaults> faults = ScenarioParser::faultOfWord(word);
    if (!stage || (!faults && !word.isEmpty())) {
        return invalidRequest(
            QStringLiteral("Неизвестная стадия или ошибка: %1 %2").arg(stageName, word));
    }

    QMutexLocker locker(&m_mutex);
    std::optional<ArmedFault> &armed = m_armedFaults.at(static_cast<size_t>(*stage));
    armed = faults ? std::optional<ArmedFault>(ArmedFault{word, *faults}) : std::nullopt;
    return ServiceReply::json(
        {{QStringLiteral("stage"), stageName}, {QStringLiteral("fault"), word}});
}

QJsonObject PaymentService::state(qsizetype latest)
{
    QMutexLocker locker(&m_mutex);
    QJsonArray orders;
    const Order::Clock::time_point now = Order::Clock::now();
    const qsizetype first = latest > 0 ? qMax<qsizetype>(0, m_orders.size() - latest) : 0;
    for (qsizetype i = first; i < m_orders.size(); ++i)
        orders.append(orderJson(m_orders[i], now));
    return {
        {QStringLiteral("sessions"), latestOf(m_sessions, latest)},
        {QStringLiteral("orders"), orders},
        {QStringLiteral("returns"), latestOf(m_refunds, latest)},
        {QStringLiteral("manual"), m_manual},
        {QStringLiteral("orderExpirySeconds"), m_orderExpiry.count() / 1000.0},
        {QStringLiteral("faultWords"), QJsonArray::fromStringList(ScenarioParser::faultWords())},
        {QStringLiteral("armedFaults"), armedFaultsJson()},
    };
}

// An order waiting for payment shows the seconds it has left.
QJsonObject PaymentService::orderJson(Order &order, Order::Clock::time_point now) const
{
    order.expireIfOverdue(now, m_orderExpiry);
    QJsonObject json = order.toJson();
    if (order.state == Order::State::Registered) {
        const std::chrono::duration<double> left = order.registeredAt + m_orderExpiry - now;
        json.insert(QStringLiteral("secondsLeft"), left.count());
    }
    return json;
}

QJsonObject PaymentService::armedFaultsJson() const
{
    QJsonObject json;
    for (const StageName &entry : StageNames) {
        const std::optional<ArmedFault> &armed = m_armedFaults.at(static_cast<size_t>(entry.stage));
        if (armed)
            json.insert(QLatin1String(entry.name), armed->word);
    }
    return json;
}

Order *PaymentService::currentOrder(const QString &clientTransaction)
{
    const auto found = m_orderIndex.constFind(clientTransaction);
    if (found == m_orderIndex.cend())
        return nullptr;
    Order &order = m_orders[*found];
    order.expireIfOverdue(Order::Clock::now(), m_orderExpiry);
    return &order;
}

QuickPaySession *PaymentService::findSession(const QString &quickpayId)
{
    const auto found = m_sessionIndex.constFind(quickpayId);
    return found == m_sessionIndex.cend() ? nullptr : &m_sessions[*found];
}

const Refund *PaymentService::findRefund(const QString &refundId) const
{
    const auto found = m_refundIndex.constFind(refundId);
    return found == m_refundIndex.cend() ? nullptr : &m_refunds.at(*found);
}

} // namespace zorviksim
