// A cashier's day end to end: the plug-in loaded as the host loads it, paying, cancelling and
// refunding against the simulator over loopback HTTP, with the host queue in a real SQLite file.
// A row asserts the whole outcome: the result, the processing's log lines with their levels
// and the pauses in their places, what the service received and what was queued.

#include "PluginTestBench.h"

#include "api/Interface.h"

#include "host/Session.h"
#include "host/payment/BasicSbpProcessing.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QUuid>

using Status = PaymentProcessingResult::Status;
using Type = PaymentProcessingRequest::Type;

namespace {

const QString CreateOrder = QStringLiteral("/cpqr/operation/create");
const QString OrderReturn = QStringLiteral("/cpqr/operation/return");
const QString RefundId = QStringLiteral("refundId");
const QString SaleLine = QStringLiteral("INFO Оплата в чеке продажи на сумму 150.50");
const QString ResetLine = QStringLiteral("INFO Состояние сессии сброшено");
const QString NotPaidLine = QStringLiteral("INFO Оплата еще не выполнена");
const QString QueuedLine = QStringLiteral("INFO Отмена оплаты %1 через очередь");
const QString CancelLine = QStringLiteral("INFO Отмена оплаты на сумму 150.50");
const QString DroppedLine = QStringLiteral("INFO Требуется повторный ввод платежного кода");
const QStringList Started{SaleLine, QStringLiteral("INFO  идентификатор оплаты: %1")};
const QStringList Paid{QStringLiteral("INFO Оплата выполнена успешно"), ResetLine};
const QString WaitLine = QStringLiteral("INFO Ожидание %1 сек. перед запросом статуса");
const QStringList PaidAtOnce{Started[1], WaitLine.arg(0), Paid[0], ResetLine};
const QList<QPair<QString, double>> TwoPositions{{"Молоко", 100.0}, {"Хлеб", 50.5}};

PaymentProcessingRequest request(Type type, const QString &code, const QString &id = QString())
{
    return PluginTestBench::request(type, 15050, code, id);
}

QStringList joined(std::initializer_list<QStringList> parts)
{
    QStringList lines;
    for (const QStringList &part : parts)
        lines += part;
    return lines;
}

QStringList steps(int count)
{
    return QStringList(count, QStringLiteral("PAUSE 250 ms"));
}

// The number of items in the cart handed to the host; -1 without additional data.
int cartItems(const PaymentProcessingResult &result)
{
    const QJsonObject data = QJsonDocument::fromJson(result.additionalData.toUtf8()).object();
    if (data.keys() != QStringList{"cart"})
        return result.additionalData.isEmpty() ? -1 : -2;
    return data["cart"]["items"].toArray().size();
}

enum class HostEvent { None, OtherCardRemoved, CustomerCardRemoved, ReceiptCancelled };
enum class CancelFrom { Host, RefundPayment, Queue };

} // namespace

Q_DECLARE_METATYPE(HostEvent)
Q_DECLARE_METATYPE(CancelFrom)

// A client that numbers the identifiers it gives.
class NumberingInterface : public zorvikcpqr::Interface
{
public:
    QString createTransactionId() const override { return QString("txn-%1").arg(++ids); }

    mutable int ids = 0;
};

class PaymentFlowsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void payment_data();
    void payment();
    void sessionOnTheReceipt_data();
    void sessionOnTheReceipt();
    void cancel_data();
    void cancel();
    void identifiersComeFromTheClient();
};

void PaymentFlowsTest::payment_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("delay");       // seconds
    QTest::addColumn<int>("interval");    // seconds
    QTest::addColumn<int>("interruptAt"); // the step at which the cashier interrupts; 0: never
    QTest::addColumn<Status>("status");
    QTest::addColumn<QString>("messageId");
    QTest::addColumn<int>("cartItems");
    QTest::addColumn<QStringList>("lines"); // %1: the order's id

    const QStringList round = joined({{NotPaidLine}, steps(4)});
    QTest::newRow("paid at the first request")
        << "ZVQR-PAY1" << 2 << 1 << 0 << Status::Success << "" << 2
        << joined({Started, {WaitLine.arg(2), "PAUSE 2 s"}, Paid});
    QTest::newRow("paid at the third request, the second refused")
        << "ZVQR-PAY3-STATUSERR2" << 0 << 1 << 0 << Status::Success << "" << 2
        << joined({Started, {WaitLine.arg(0)}, round, round, Paid});
    QTest::newRow("no interval: a step still")
        << "ZVQR-PAY2" << -1 << 0 << 0 << Status::Success << "" << 2
        << joined({Started, {WaitLine.arg(-1), NotPaidLine}, steps(1), Paid});
    QTest::newRow("declined")
        << "ZVQR-DECLINE2" << 0 << 1 << 0 << Status::Failure << "zorvikCpqrPaymentDeclined" << 0
        << joined({Started, {WaitLine.arg(0)}, round, {"WARN Оплата отклонена", ResetLine}});
    QTest::newRow("status answer lost")
        << "ZVQR-DROPSTATUS1" << 0 << 1 << 0 << Status::Failure << "restClientConnectionBroken" << 0
        << joined({Started, {WaitLine.arg(0), NotPaidLine, QueuedLine, ResetLine}});
    QTest::newRow("interrupted at the sixth step")
        << "ZVQR-NEVER" << 0 << 1 << 6 << Status::Interrupted << "" << -1
        << joined({Started,
                   {WaitLine.arg(0)},
                   round,
                   {NotPaidLine},
                   steps(2),
                   {"INFO Прерывание оплаты", "WARN Оплата прервана", QueuedLine, ResetLine}});
    QTest::newRow("order refused")
        << "ZVQR-ORDERERR" << 0 << 1 << 0 << Status::Failure << "zorvikCpqrError131" << -1
        << QStringList{SaleLine, "ERROR Не удалось создать заказ", ResetLine};
    QTest::newRow("session refused") << "ZVQR-SESSIONERR" << 0 << 1 << 0 << Status::Failure
                                     << "zorvikCpqrError110" << -1 << QStringList{SaleLine};
    QTest::newRow("no session, no code")
        << "" << 0 << 1 << 0 << Status::Failure << "zorvikCpqrNoCpqr" << -1
        << QStringList{SaleLine, ResetLine};
}

void PaymentFlowsTest::payment()
{
    QFETCH(QString, code);
    QFETCH(int, delay);
    QFETCH(int, interval);
    QFETCH(int, interruptAt);
    QFETCH(QStringList, lines);
    PluginTestBench bench;
    bench.notePauses(interruptAt);
    bench.configure({{"statusRequestDelay", delay}, {"statusRequestInterval", interval}});
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openReceipt(TwoPositions);
    processing->interruptPayment(); // asked while no payment ran: it must not stop the next one
    bench.clearLog();

    const PaymentProcessingResult result = processing->payment(request(Type::Sale, code));
    QTEST(Status(result.status), "status");
    QTEST(result.message.id(), "messageId");
    QTEST(cartItems(result), "cartItems");
    QCOMPARE(bench.processingLog(), lines.replaceInStrings("%1", result.operationId));
    QVERIFY(processing->checkOption(processing::RequestPaymentCode));
    QCOMPARE(result.operationId, bench.orders().at(0)["client_transaction"].toString());
    const QJsonObject order = bench.requests(CreateOrder).value(0).json();
    if (!result.operationId.isEmpty())
        QCOMPARE(QStringList({order["cpqr_payload"].toString(), order["comment"].toString()}),
                 QStringList({code, "0012 03"}));

    const QList<QJsonObject> queued = bench.queuedMessages();
    QCOMPARE(queued.size(), int(lines.contains(QueuedLine.arg(result.operationId))));
    if (queued.isEmpty())
        return;
    const QString refundId = queued.first()[RefundId].toString();
    QVERIFY(!refundId.isEmpty());
    const QJsonObject cancellation{{"type", 1},
                                   {"amount", 15050},
                                   {"operationId", result.operationId},
                                   {"paymentCode", code},
                                   {"valutCode", 643}};
    QCOMPARE(queued.first(),
             QJsonObject({{"request", cancellation}, {"valutCode", 643}, {RefundId, refundId}}));
    bench.runQueue(processing);
    QCOMPARE(bench.requests(OrderReturn).value(0).json()[RefundId].toString(), refundId);
}

void PaymentFlowsTest::sessionOnTheReceipt_data()
{
    QTest::addColumn<QString>("scanned");
    QTest::addColumn<int>("cardOnReceipt"); // the index of the session's card put there, or -1
    QTest::addColumn<QString>("defaultCard");
    QTest::addColumn<HostEvent>("event"); // before the payment
    QTest::addColumn<QString>("paymentCode");
    QTest::addColumn<QStringList>("lines"); // a new session is started exactly when dropped

    const QStringList paid = joined({{SaleLine}, PaidAtOnce});
    const QStringList unavailable{ResetLine, SaleLine, ResetLine};
    const QStringList startedAgain = joined({{SaleLine, DroppedLine}, PaidAtOnce});
    QTest::newRow("its last card on the receipt")
        << "ZVQR-LOYALTY" << 3 << "D-42" << HostEvent::None << "" << paid;
    QTest::newRow("no cards at all") << "ZVQR-NOCARD" << -1 << "" << HostEvent::None << "" << paid;
    QTest::newRow("default card on the receipt")
        << "ZVQR-NOCARD" << 0 << "D-42" << HostEvent::None << "" << paid;
    QTest::newRow("default card not on the receipt")
        << "ZVQR-NOCARD" << -1 << "D-42" << HostEvent::None << "ZVQR-NEW" << startedAgain;
    QTest::newRow("another card removed")
        << "ZVQR-LOYALTY" << 3 << "" << HostEvent::OtherCardRemoved << "" << paid;
    QTest::newRow("customer's card removed")
        << "ZVQR-LOYALTY" << 3 << "" << HostEvent::CustomerCardRemoved << "" << unavailable;
    QTest::newRow("receipt cancelled")
        << "ZVQR-LOYALTY" << 3 << "" << HostEvent::ReceiptCancelled << "" << unavailable;
}

// The session opened when the code was scanned serves the payment while one of its cards is
// on the receipt; its cards are the merchant payload, then the loyalty ids, else the default.
void PaymentFlowsTest::sessionOnTheReceipt()
{
    QFETCH(QString, scanned);
    QFETCH(QString, defaultCard);
    QFETCH(int, cardOnReceipt);
    QFETCH(HostEvent, event);
    QFETCH(QString, paymentCode);
    QFETCH(QStringList, lines);
    PluginTestBench bench;
    bench.configure({{"defaultCardNumber", defaultCard}});
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openReceipt(TwoPositions, {"1111"});

    const CpqrCheckResult check = processing->processCpqr(scanned);
    const QJsonObject session = bench.simulator().state()["sessions"][0].toObject();
    QStringList cards = session["loyalty"]["loyalty_ids"].toVariant().toStringList();
    if (session.contains("merchant_payload"))
        cards.prepend(session["merchant_payload"].toString());
    QCOMPARE(check.cardNumbers,
             cards.isEmpty() && !defaultCard.isEmpty() ? QStringList{defaultCard} : cards);
    const QSharedPointer<AbstractDocument> receipt = Singleton<Session>::instance->getDocument();
    if (cardOnReceipt >= 0)
        receipt->addCard(check.cardNumbers.value(cardOnReceipt));
    bench.clearLog();
    if (event == HostEvent::ReceiptCancelled)
        processing->onDocumentCancel();
    if (event == HostEvent::OtherCardRemoved || event == HostEvent::CustomerCardRemoved) {
        receipt->removeCard(event == HostEvent::OtherCardRemoved ? "1111"
                                                                 : check.cardNumbers.last());
        processing->onCardDelete();
    }

    const PaymentProcessingResult result = processing->payment(request(Type::Sale, paymentCode));
    QCOMPARE(result.status, lines.contains(Paid[0]) ? Status::Success : Status::Failure);
    QCOMPARE(bench.processingLog(), lines.replaceInStrings("%1", result.operationId));
    QStringList startedWith{scanned};
    if (lines.contains(DroppedLine))
        startedWith.append(paymentCode);
    for (const zorviksim::ReceivedRequest &start : bench.requests("/cpqr/start_session"))
        QCOMPARE(start.json()["cpqr_payload"].toString(), startedWith.takeFirst());
    QVERIFY(startedWith.isEmpty());
}

void PaymentFlowsTest::cancel_data()
{
    QTest::addColumn<QString>("code"); // of the payment cancelled; none: an unknown order
    QTest::addColumn<CancelFrom>("from");
    QTest::addColumn<QStringList>("lines"); // %1: the order's id; a reset tells a return asked
    QTest::addColumn<QString>("messageId");

    const QStringList returned{
        CancelLine, "INFO Заказ был успешно оплачен, будет выполнен возврат", ResetLine};
    const QStringList fromQueue{"INFO Обработка сообщения из очереди"};
    QTest::newRow("paid, by the host") << "ZVQR-PAY1" << CancelFrom::Host << returned << "";
    QTest::newRow("paid, as a refund payment")
        << "ZVQR-PAY1" << CancelFrom::RefundPayment
        << QStringList{"INFO Оплата в чеке возврата на сумму 150.50"} + returned << "";
    QTest::newRow("paid, queued refund id not text")
        << "ZVQR-PAY1" << CancelFrom::Queue
        << joined({fromQueue,
                   {"ERROR Некорректный идентификатор возврата в сообщении очереди, возврат по "
                    "операции %1 получит новый"},
                   returned})
        << "";
    QTest::newRow("state unreadable")
        << "ZVQR-PAY1-NOTJSON2" << CancelFrom::Host
        << QStringList{CancelLine, "ERROR Неизвестное состояние заказа", ResetLine} << "";
    QTest::newRow("registered: return refused")
        << "ZVQR-NEVER" << CancelFrom::Host
        << QStringList{CancelLine, "INFO Заказ зарегистрирован, но состояние неизвестно", ResetLine}
        << "zorvikCpqrError160";
    QTest::newRow("declined: nothing to do")
        << "ZVQR-DECLINE" << CancelFrom::Host
        << QStringList{CancelLine, "INFO Дальнейшая обработка не требуется"} << "";
    QTest::newRow("status request refused")
        << "" << CancelFrom::Host
        << QStringList{CancelLine, "ERROR Не удалось получить статус заказа"}
        << "zorvikCpqrError140";
}

// A session open at the cancellation ends exactly when a return is asked for.
void PaymentFlowsTest::cancel()
{
    QFETCH(QString, code);
    QFETCH(CancelFrom, from);
    QFETCH(QStringList, lines);
    QFETCH(QString, messageId);
    PluginTestBench bench;
    bench.notePauses(1);
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openReceipt(TwoPositions);
    const QString id = code.isEmpty() ? "unknown-order"
                                      : processing->payment(request(Type::Sale, code)).operationId;
    QVERIFY(processing->processCpqr("ZVQR-PAY9").accepted);
    bench.runQueue(processing); // what the payment left there
    const qsizetype queued = bench.queuedMessages().size();
    const qsizetype returnsBefore = bench.requests(OrderReturn).size();
    bench.clearLog();

    PaymentProcessingResult result;
    // A queued refund id that is no text is replaced by a new one.
    const QVariantMap message{{"request", QVariantMap{{"operationId", id}, {"amount", 15050}}},
                              {RefundId, 7}};
    if (from == CancelFrom::Queue)
        result.status
            = processing->sendEnqueuedMessage(message) ? Status::Success : Status::Failure;
    else if (from == CancelFrom::Host)
        result = processing->cancel(request(Type::Sale, QString(), id));
    else
        result = processing->payment(request(Type::Refund, QString(), id));
    QCOMPARE(result.status, messageId.isEmpty() ? Status::Success : Status::Failure);
    QCOMPARE(result.message.id(), messageId);
    QCOMPARE(bench.processingLog(), lines.replaceInStrings("%1", id));
    QCOMPARE(processing->checkOption(processing::RequestPaymentCode), lines.contains(ResetLine));
    QCOMPARE(bench.queuedMessages().size(), queued);

    const QList<zorviksim::ReceivedRequest> returns
        = bench.requests(OrderReturn).mid(returnsBefore);
    QCOMPARE(returns.size(), int(lines.contains(ResetLine)));
    const QString sent = returns.value(0).json()[RefundId].toString();
    QVERIFY(returns.isEmpty() || !QUuid::fromString(sent).isNull());
    if (from != CancelFrom::Queue)
        QCOMPARE(result.operationId, result.status == Status::Success ? sent : QString());
    QCOMPARE(result.slipCopies, returns.isEmpty() && result.status == Status::Success ? 0 : 2);
}

// The processing asks its client for the order's identifier and for the refund id noted with
// it through the virtual table, so that a substitute installed before the factory creates the
// processing names both.
void PaymentFlowsTest::identifiersComeFromTheClient()
{
    NumberingInterface client;
    MockFactory<zorvikcpqr::Interface>::setSubstitute(&client);
    PluginTestBench bench;
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openReceipt(TwoPositions);

    const PaymentProcessingResult result
        = processing->payment(request(Type::Sale, "ZVQR-DROPSTATUS1"));
    QCOMPARE(bench.requests(CreateOrder).value(0).json()["client_transaction"].toString(), "txn-1");
    QCOMPARE(result.operationId, "txn-1");
    QCOMPARE(bench.queuedMessages().value(0)[RefundId].toString(), "txn-2");
}

QTEST_GUILESS_MAIN(PaymentFlowsTest)
#include "tst_paymentflows.moc"
