// A cashier's day end to end: the plug-in loaded as the host loads it, paying, cancelling and
// refunding against the simulator over loopback HTTP, with the host queue in a real SQLite file.
// Each row of a table asserts the whole outcome: the result, the processing's log lines with
// their levels (and the pauses in their places), what the service received and what was queued.

#include "PluginTestBench.h"

#include "api/Interface.h"

#include "host/DBQueueBroker.h"
#include "host/Session.h"
#include "host/payment/BasicSbpProcessing.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QUuid>

using Status = PaymentProcessingResult::Status;
using Type = PaymentProcessingRequest::Type;

namespace {

const QString StartSession = QStringLiteral("/cpqr/start_session");
const QString CreateOrder = QStringLiteral("/cpqr/operation/create");
const QString OrderReturn = QStringLiteral("/cpqr/operation/return");
const QString RefundId = QStringLiteral("refundId");

const QString SaleLine = QStringLiteral("INFO Оплата в чеке продажи на сумму 150.50");
const QString ResetLine = QStringLiteral("INFO Состояние сессии сброшено");
const QString NotPaidLine = QStringLiteral("INFO Оплата еще не выполнена");
const QString QueuedLine = QStringLiteral("INFO Отмена оплаты %1 через очередь");
const QString CancelLine = QStringLiteral("INFO Отмена оплаты на сумму 150.50");
const QString ReturnLine = QStringLiteral("INFO Заказ был успешно оплачен, будет выполнен возврат");
const QString Waited0 = QStringLiteral("INFO Ожидание 0 сек. перед запросом статуса");
const QStringList Started{SaleLine, QStringLiteral("INFO  идентификатор оплаты: %1")};
const QStringList Paid{QStringLiteral("INFO Оплата выполнена успешно"), ResetLine};

const QList<QPair<QString, double>> TwoPositions{{QStringLiteral("Молоко"), 100.0},
                                                 {QStringLiteral("Хлеб"), 50.5}};

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

QStringList withOrderId(QStringList lines, const QString &id)
{
    return lines.replaceInStrings(QStringLiteral("%1"), id);
}

// The number of items in the cart that the result hands the host; -1 without additional data.
int cartItems(const PaymentProcessingResult &result)
{
    const QJsonObject data = QJsonDocument::fromJson(result.additionalData.toUtf8()).object();
    if (result.additionalData.isEmpty() || data.keys() != QStringList{QStringLiteral("cart")})
        return result.additionalData.isEmpty() ? -1 : -2;
    return data.value(QStringLiteral("cart"))[QStringLiteral("items")].toArray().size();
}

enum class HostEvent { None, OtherCardRemoved, CustomerCardRemoved, ReceiptCancelled };
enum class CancelFrom { Host, RefundPayment, Queue };

// The card numbers named by a row: "P" for the merchant payload of the first session, "L1",
// "L2"... for its loyalty ids, anything else as it is.
QStringList cardNumbers(const QStringList &names, const QJsonObject &session)
{
    const QJsonArray loyaltyIds
        = session[QStringLiteral("loyalty")][QStringLiteral("loyalty_ids")].toArray();
    QStringList numbers;
    for (const QString &name : names) {
        if (name == QLatin1String("P"))
            numbers.append(session.value(QStringLiteral("merchant_payload")).toString());
        else if (name.startsWith(QLatin1Char('L')))
            numbers.append(loyaltyIds.at(name.mid(1).toInt() - 1).toString());
        else
            numbers.append(name);
    }
    return numbers;
}

} // namespace

Q_DECLARE_METATYPE(HostEvent)
Q_DECLARE_METATYPE(CancelFrom)

// A client whose helper steps are the test's: the processing and the client must reach them
// through the virtual table.
class ReplacedStepsInterface : public zorvikcpqr::Interface
{
public:
    QString createTransactionId() const override
    {
        return QStringLiteral("txn-%1").arg(++transactionIds);
    }
    QString getComment() const override { return QStringLiteral("till 3"); }
    QJsonObject getCart(double) const override { return {}; }
    zorvikcpqr::RequestResult
    getRequestResult(const QSharedPointer<RestClient> &client) const override
    {
        ++exchanges;
        return Interface::getRequestResult(client);
    }

    mutable int transactionIds = 0;
    mutable int exchanges = 0;
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
    void clientStepsAreReplaceable();
    void damagedJournalStopsNoPayment_data();
    void damagedJournalStopsNoPayment();
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
    QTest::addColumn<bool>("queued");
    QTest::addColumn<QStringList>("lines"); // %1: the order's id

    const QString waited = QStringLiteral("INFO Ожидание %1 сек. перед запросом статуса");
    QTest::newRow("paid at the first request")
        << "ZVQR-PAY1" << 2 << 1 << 0 << Status::Success << "" << 2 << false
        << joined({Started, {waited.arg(2), "PAUSE 2 s"}, Paid});
    QTest::newRow("paid at the third request")
        << "ZVQR-PAY3" << 0 << 1 << 0 << Status::Success << "" << 2 << false
        << joined({Started, {waited.arg(0), NotPaidLine}, steps(4), {NotPaidLine}, steps(4), Paid});
    QTest::newRow("no interval still waits a step")
        << "ZVQR-PAY2" << -1 << 0 << 0 << Status::Success << "" << 2 << false
        << joined({Started, {waited.arg(-1), NotPaidLine}, steps(1), Paid});
    QTest::newRow("declined") << "ZVQR-DECLINE2" << 0 << 1 << 0 << Status::Failure
                              << "zorvikCpqrPaymentDeclined" << 0 << false
                              << joined({Started,
                                         {waited.arg(0), NotPaidLine},
                                         steps(4),
                                         {QStringLiteral("WARN Оплата отклонена"), ResetLine}});
    QTest::newRow("service error: asked again")
        << "ZVQR-STATUSERR1" << 0 << 1 << 0 << Status::Success << "" << 2 << false
        << joined({Started, {waited.arg(0), NotPaidLine}, steps(4), Paid});
    QTest::newRow("status answer lost")
        << "ZVQR-DROPSTATUS1" << 0 << 1 << 0 << Status::Failure << "restClientConnectionBroken" << 0
        << true << joined({Started, {waited.arg(0), NotPaidLine, QueuedLine, ResetLine}});
    QTest::newRow("interrupted at the sixth step")
        << "ZVQR-NEVER" << 0 << 1 << 6 << Status::Interrupted << "" << -1 << true
        << joined({Started,
                   {waited.arg(0), NotPaidLine},
                   steps(4),
                   {NotPaidLine},
                   steps(2),
                   {QStringLiteral("INFO Прерывание оплаты"),
                    QStringLiteral("WARN Оплата прервана"),
                    QueuedLine,
                    ResetLine}});
    QTest::newRow("order refused")
        << "ZVQR-ORDERERR" << 0 << 1 << 0 << Status::Failure << "zorvikCpqrError131" << -1 << false
        << QStringList{SaleLine, QStringLiteral("ERROR Не удалось создать заказ"), ResetLine};
    QTest::newRow("session refused")
        << "ZVQR-SESSIONERR" << 0 << 1 << 0 << Status::Failure << "zorvikCpqrError110" << -1
        << false << QStringList{SaleLine};
    QTest::newRow("no session, no code")
        << "" << 0 << 1 << 0 << Status::Failure << "zorvikCpqrNoCpqr" << -1 << false
        << QStringList{SaleLine, ResetLine};
}

void PaymentFlowsTest::payment()
{
    QFETCH(QString, code);
    QFETCH(int, interruptAt);
    QFETCH(bool, queued);
    PluginTestBench bench;
    bench.notePauses(interruptAt);
    QFETCH(int, delay);
    QFETCH(int, interval);
    bench.configure({{QStringLiteral("statusRequestDelay"), delay},
                     {QStringLiteral("statusRequestInterval"), interval}});
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openReceipt(TwoPositions);
    // Asked while no payment ran, the interruption must not stop the next one.
    processing->interruptPayment();
    bench.clearLog();

    const PaymentProcessingResult result = processing->payment(request(Type::Sale, code));
    QTEST(Status(result.status), "status");
    QTEST(result.message.id(), "messageId");
    QTEST(cartItems(result), "cartItems");
    QFETCH(QStringList, lines);
    QCOMPARE(bench.processingLog(), withOrderId(lines, result.operationId));
    QVERIFY(processing->checkOption(processing::RequestPaymentCode));

    const QJsonObject order = bench.orders().at(0).toObject();
    QCOMPARE(result.operationId, order.value(QStringLiteral("client_transaction")).toString());
    if (!result.operationId.isEmpty()) {
        const QJsonObject sent = bench.requests(CreateOrder).value(0).json();
        QCOMPARE(sent.value(QStringLiteral("cpqr_payload")).toString(), code);
        QCOMPARE(sent.value(QStringLiteral("cost")).toDouble(), 150.5);
        QCOMPARE(sent.value(QStringLiteral("comment")).toString(), QStringLiteral("0012 03"));
    }

    const QList<QJsonObject> messages = bench.queuedMessages();
    QCOMPARE(messages.size(), int(queued));
    if (!queued)
        return;
    const QJsonObject message = messages.first();
    const QString refundId = message.value(RefundId).toString();
    QVERIFY(!refundId.isEmpty());
    const QJsonObject cancellation{{QStringLiteral("type"), 1},
                                   {QStringLiteral("amount"), 15050},
                                   {QStringLiteral("operationId"), result.operationId},
                                   {QStringLiteral("paymentCode"), code},
                                   {QStringLiteral("valutCode"), 643}};
    QCOMPARE(message,
             QJsonObject({{QStringLiteral("request"), cancellation},
                          {QStringLiteral("valutCode"), 643},
                          {RefundId, refundId}}));
    bench.runQueue(processing);
    QCOMPARE(bench.requests(OrderReturn).value(0).json().value(RefundId).toString(), refundId);
}

void PaymentFlowsTest::sessionOnTheReceipt_data()
{
    QTest::addColumn<QString>("scanned");
    QTest::addColumn<QString>("defaultCard");
    QTest::addColumn<QStringList>("cards");   // of the session, in order (see cardNumbers)
    QTest::addColumn<int>("cardOnReceipt");   // the index of the session's card put there; -1
    QTest::addColumn<HostEvent>("event");     // before the payment
    QTest::addColumn<QString>("paymentCode"); // of the payment's request
    QTest::addColumn<QStringList>("startedWith");
    QTest::addColumn<Status>("status");
    QTest::addColumn<QStringList>("lines");

    const QString dropped = QStringLiteral("INFO Требуется повторный ввод платежного кода");
    const QStringList loyal{"P", "L1", "L2", "L3"};
    const QStringList paid = joined({Started, {Waited0}, Paid});
    const QStringList unavailable{SaleLine, ResetLine};
    QTest::newRow("its last card on the receipt")
        << "ZVQR-LOYALTY"
        << "D-42" << loyal << 3 << HostEvent::None << "" << QStringList{"ZVQR-LOYALTY"}
        << Status::Success << paid;
    QTest::newRow("none of its cards: the request's code")
        << "ZVQR-PAY1"
        << "D-42" << QStringList{"P", "L1"} << -1 << HostEvent::None << "ZVQR-NEW"
        << QStringList{"ZVQR-PAY1", "ZVQR-NEW"} << Status::Success
        << joined({{SaleLine, dropped}, paid.mid(1)});
    QTest::newRow("none of its cards, no code")
        << "ZVQR-PAY1"
        << "" << QStringList{"P", "L1"} << -1 << HostEvent::None << "" << QStringList{"ZVQR-PAY1"}
        << Status::Failure << QStringList{SaleLine, dropped, ResetLine};
    QTest::newRow("no cards at all") << "ZVQR-NOCARD"
                                     << "" << QStringList() << -1 << HostEvent::None << ""
                                     << QStringList{"ZVQR-NOCARD"} << Status::Success << paid;
    QTest::newRow("default card on the receipt")
        << "ZVQR-NOCARD"
        << "D-42" << QStringList{"D-42"} << 0 << HostEvent::None << "" << QStringList{"ZVQR-NOCARD"}
        << Status::Success << paid;
    QTest::newRow("default card not on the receipt")
        << "ZVQR-NOCARD"
        << "D-42" << QStringList{"D-42"} << -1 << HostEvent::None << "ZVQR-NEW"
        << QStringList{"ZVQR-NOCARD", "ZVQR-NEW"} << Status::Success
        << joined({{SaleLine, dropped}, paid.mid(1)});
    QTest::newRow("another card removed") << "ZVQR-LOYALTY"
                                          << "" << loyal << 3 << HostEvent::OtherCardRemoved << ""
                                          << QStringList{"ZVQR-LOYALTY"} << Status::Success << paid;
    QTest::newRow("customer's card removed")
        << "ZVQR-LOYALTY"
        << "" << loyal << 3 << HostEvent::CustomerCardRemoved << "" << QStringList{"ZVQR-LOYALTY"}
        << Status::Failure << QStringList{ResetLine} + unavailable;
    QTest::newRow("receipt cancelled")
        << "ZVQR-LOYALTY"
        << "" << loyal << 3 << HostEvent::ReceiptCancelled << "" << QStringList{"ZVQR-LOYALTY"}
        << Status::Failure << QStringList{ResetLine} + unavailable;
}

// The session opened when the code was scanned serves the payment while one of its cards is on
// the receipt.
void PaymentFlowsTest::sessionOnTheReceipt()
{
    QFETCH(QString, scanned);
    QFETCH(QString, defaultCard);
    QFETCH(int, cardOnReceipt);
    QFETCH(HostEvent, event);
    QFETCH(QString, paymentCode);
    PluginTestBench bench;
    bench.configure({{QStringLiteral("defaultCardNumber"), defaultCard}});
    BasicSbpProcessing *processing = bench.createProcessing();
    const QString otherCard = QStringLiteral("1111");
    bench.openReceipt(TwoPositions, {otherCard});

    const CpqrCheckResult check = processing->processCpqr(scanned);
    QVERIFY(check.accepted);
    const QJsonObject session = bench.simulator().state()[QStringLiteral("sessions")][0].toObject();
    QFETCH(QStringList, cards);
    QCOMPARE(check.cardNumbers, cardNumbers(cards, session));
    const QSharedPointer<AbstractDocument> receipt = Singleton<Session>::instance->getDocument();
    const QString customerCard = check.cardNumbers.value(cardOnReceipt);
    if (cardOnReceipt >= 0)
        receipt->addCard(customerCard);
    bench.clearLog();
    if (event == HostEvent::ReceiptCancelled)
        processing->onDocumentCancel();
    if (event == HostEvent::OtherCardRemoved || event == HostEvent::CustomerCardRemoved) {
        receipt->removeCard(event == HostEvent::OtherCardRemoved ? otherCard : customerCard);
        processing->onCardDelete();
    }

    const PaymentProcessingResult result = processing->payment(request(Type::Sale, paymentCode));
    QTEST(Status(result.status), "status");
    QFETCH(QStringList, lines);
    QCOMPARE(bench.processingLog(), withOrderId(lines, result.operationId));
    QStringList startedWith;
    for (const zorviksim::ReceivedRequest &start : bench.requests(StartSession))
        startedWith.append(start.json().value(QStringLiteral("cpqr_payload")).toString());
    QTEST(startedWith, "startedWith");
}

void PaymentFlowsTest::cancel_data()
{
    QTest::addColumn<QString>("code"); // of the payment cancelled; none: an unknown order
    QTest::addColumn<CancelFrom>("from");
    QTest::addColumn<QVariant>("queuedRefundId");
    QTest::addColumn<Status>("status");
    QTest::addColumn<QString>("messageId");
    QTest::addColumn<QString>("refundId");  // sent with the return; "new" for a fresh one
    QTest::addColumn<QStringList>("lines"); // %1: the order's id

    const QString fresh = QStringLiteral("new");
    const QString unpaid = QStringLiteral("INFO Дальнейшая обработка не требуется");
    const QStringList returned{CancelLine, ReturnLine, ResetLine};
    const QString queue = QStringLiteral("INFO Обработка сообщения из очереди");
    QTest::newRow("paid, by the host") << "ZVQR-PAY1" << CancelFrom::Host << QVariant()
                                       << Status::Success << "" << fresh << returned;
    QTest::newRow("paid, as a refund payment")
        << "ZVQR-PAY1" << CancelFrom::RefundPayment << QVariant() << Status::Success << "" << fresh
        << QStringList{QStringLiteral("INFO Оплата в чеке возврата на сумму 150.50")} + returned;
    QTest::newRow("paid, from the queue")
        << "ZVQR-PAY1" << CancelFrom::Queue << QVariant(QStringLiteral("refund-7"))
        << Status::Success << ""
        << "refund-7" << QStringList{queue} + returned;
    QTest::newRow("paid, queued refund id not text")
        << "ZVQR-PAY1" << CancelFrom::Queue << QVariant(7) << Status::Success << "" << fresh
        << QStringList{queue,
                       QStringLiteral("ERROR Некорректный идентификатор возврата в сообщении "
                                      "очереди, возврат по операции %1 получит новый")}
               + returned;
    QTest::newRow("state unreadable")
        << "ZVQR-PAY1-NOTJSON2" << CancelFrom::Host << QVariant() << Status::Success << "" << fresh
        << QStringList{CancelLine, QStringLiteral("ERROR Неизвестное состояние заказа"), ResetLine};
    QTest::newRow("still registered: return refused")
        << "ZVQR-NEVER" << CancelFrom::Host << QVariant() << Status::Failure << "zorvikCpqrError160"
        << fresh
        << QStringList{CancelLine,
                       QStringLiteral("INFO Заказ зарегистрирован, но состояние неизвестно"),
                       ResetLine};
    QTest::newRow("declined: nothing to do")
        << "ZVQR-DECLINE" << CancelFrom::Host << QVariant() << Status::Success << ""
        << "" << QStringList{CancelLine, unpaid};
    QTest::newRow("status request refused")
        << "" << CancelFrom::Host << QVariant() << Status::Failure << "zorvikCpqrError140"
        << "" << QStringList{CancelLine, QStringLiteral("ERROR Не удалось получить статус заказа")};
}

// The session open at the cancellation ends exactly when a return is asked for.
void PaymentFlowsTest::cancel()
{
    QFETCH(QString, code);
    QFETCH(CancelFrom, from);
    PluginTestBench bench;
    bench.notePauses(1);
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openReceipt(TwoPositions);
    const QString id = code.isEmpty() ? QStringLiteral("unknown-order")
                                      : processing->payment(request(Type::Sale, code)).operationId;
    QVERIFY(processing->processCpqr(QStringLiteral("ZVQR-PAY9")).accepted);
    bench.runQueue(processing); // what the payment left there
    const int queued = bench.queuedMessages().size();
    const int returnsBefore = bench.requests(OrderReturn).size();
    bench.clearLog();

    PaymentProcessingResult result;
    if (from == CancelFrom::Queue) {
        QFETCH(QVariant, queuedRefundId);
        const QVariantMap request{{QStringLiteral("operationId"), id},
                                  {QStringLiteral("amount"), 15050}};
        result.status = processing->sendEnqueuedMessage(
                            {{QStringLiteral("request"), request}, {RefundId, queuedRefundId}})
                            ? Status::Success
                            : Status::Failure;
    } else {
        result = from == CancelFrom::Host
                     ? processing->cancel(request(Type::Sale, QString(), id))
                     : processing->payment(request(Type::Refund, QString(), id));
    }
    QTEST(Status(result.status), "status");
    QTEST(result.message.id(), "messageId");
    QFETCH(QStringList, lines);
    QCOMPARE(bench.processingLog(), withOrderId(lines, id));
    QCOMPARE(processing->checkOption(processing::RequestPaymentCode), lines.contains(ResetLine));

    const QList<zorviksim::ReceivedRequest> returns
        = bench.requests(OrderReturn).mid(returnsBefore);
    const QString sentRefundId = returns.value(0).json().value(RefundId).toString();
    QFETCH(QString, refundId);
    QCOMPARE(returns.size(), int(!refundId.isEmpty()));
    if (refundId != QLatin1String("new"))
        QCOMPARE(sentRefundId, refundId);
    else
        QCOMPARE(QUuid::fromString(sentRefundId).isNull(), false);
    if (from != CancelFrom::Queue)
        QCOMPARE(result.operationId, result.status == Status::Success ? sentRefundId : QString());
    QCOMPARE(result.slipCopies, refundId.isEmpty() && result.status == Status::Success ? 0 : 2);
    QCOMPARE(bench.queuedMessages().size(), queued);
}

// The processing and the client reach these steps through the virtual table: a substitute
// client installed before the factory creates the processing replaces each of them.
void PaymentFlowsTest::clientStepsAreReplaceable()
{
    ReplacedStepsInterface client;
    MockFactory<zorvikcpqr::Interface>::setSubstitute(&client);
    PluginTestBench bench;
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openReceipt(TwoPositions);

    const PaymentProcessingResult paid = processing->payment(request(Type::Sale, "ZVQR-PAY1"));
    QCOMPARE(paid.status, Status::Success);
    QCOMPARE(paid.operationId, QStringLiteral("txn-1"));
    const QJsonObject order = bench.requests(CreateOrder).value(0).json();
    QCOMPARE(order.value(QStringLiteral("comment")).toString(), QStringLiteral("till 3"));
    QVERIFY(!order.contains(QStringLiteral("cart"))); // an empty cart is left out
    QCOMPARE(processing->cancel(request(Type::Sale, QString(), paid.operationId)).operationId,
             QStringLiteral("txn-3"));
    QCOMPARE(client.exchanges, bench.simulator().receivedRequests().size());
}

void PaymentFlowsTest::damagedJournalStopsNoPayment_data()
{
    QTest::addColumn<QByteArray>("bytes");       // written as the file, unless null
    QTest::addColumn<QStringList>("statements"); // run on the file by SQLite
    QTest::addColumn<QString>("errorLine");      // %1: the journal's path
    QTest::addColumn<bool>("paymentsNoted");

    const QString unusable = QStringLiteral("ERROR Журнал оплат %1 недоступен: ");
    QTest::newRow("corrupt") << QByteArray("not a database at all, but long enough to look")
                             << QStringList() << unusable << false;
    QTest::newRow("future version")
        << QByteArray() << QStringList{"CREATE TABLE later (x)", "PRAGMA user_version = 2"}
        << unusable + "версия файла 2 новее поддерживаемой 1" << false;
    QTest::newRow("entry that cannot be read")
        << QByteArray()
        << QStringList{"CREATE TABLE payments (client_transaction TEXT PRIMARY KEY, process "
                       "TEXT NOT NULL, cancellation TEXT NOT NULL, created_at INTEGER NOT NULL)",
                       "PRAGMA user_version = 1",
                       "INSERT INTO payments VALUES ('ct-dead', 'x/1/1', '{\"request', 0)"}
        << "ERROR Запись журнала оплат ct-dead не читается, оставлена в %1" << true;
}
// The journal is left as it is for support to look at; the payment goes on, and says that it
// went unnoted.
void PaymentFlowsTest::damagedJournalStopsNoPayment()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, statements);
    QFETCH(QString, errorLine);
    QFETCH(bool, paymentsNoted);
    PluginTestBench bench;
    const QString path = QFileInfo(Singleton<DBQueueBroker>::instance->databasePath())
                             .dir()
                             .filePath(QStringLiteral("zorvikcpqr-journal.sqlite"));
    QFile file(path);
    if (!bytes.isNull())
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    if (!statements.isEmpty()) {
        QSqlDatabase journal = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "journal");
        journal.setDatabaseName(path);
        QVERIFY(journal.open());
        for (const QString &statement : std::as_const(statements))
            QVERIFY2(QSqlQuery(journal).exec(statement), qPrintable(statement));
        journal.close();
    }
    QSqlDatabase::removeDatabase("journal");
    const QByteArray before = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    file.close();

    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openReceipt(TwoPositions);
    const PaymentProcessingResult paid
        = processing->payment(request(Type::Sale, QStringLiteral("ZVQR-PAY1")));

    QCOMPARE(paid.status, Status::Success);
    const QStringList errors = bench.logLines().filter(QStringLiteral("ERROR"));
    QVERIFY2(errors.value(0).startsWith(errorLine.arg(path)), qPrintable(errors.value(0)));
    QCOMPARE(errors.size(), paymentsNoted ? 1 : 2);
    if (!paymentsNoted)
        QVERIFY(errors.value(1).startsWith(
            QStringLiteral("ERROR Не удалось записать оплату %1 в журнал оплат %2: ")
                .arg(paid.operationId, path)));
    QVERIFY(bench.queuedMessages().isEmpty());
    if (file.open(QIODevice::ReadOnly) && statements.isEmpty())
        QCOMPARE(file.readAll(), before);
}

QTEST_GUILESS_MAIN(PaymentFlowsTest)
#include "tst_paymentflows.moc"
