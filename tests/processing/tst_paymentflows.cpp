// A cashier's day end to end: the plug-in loaded as the host loads it, paying, cancelling and
// refunding against the simulator over loopback HTTP, with the host queue in a real SQLite file.

#include "PluginTestBench.h"

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

#include <chrono>
#include <thread>

using Status = PaymentProcessingResult::Status;

namespace {

const QString StartSession = QStringLiteral("/cpqr/start_session");
const QString CreateOrder = QStringLiteral("/cpqr/operation/create");
const QString OrderResult = QStringLiteral("/cpqr/operation/result");
const QString OrderReturn = QStringLiteral("/cpqr/operation/return");

PaymentProcessingRequest request(PaymentProcessingRequest::Type type,
                                 qint64 amount,
                                 const QString &paymentCode = QString(),
                                 const QString &operationId = QString())
{
    return PluginTestBench::request(type, amount, paymentCode, operationId);
}

QJsonArray items(const QJsonObject &cart)
{
    return cart.value(QStringLiteral("items")).toArray();
}

const QList<QPair<QString, double>> TwoPositions{{QStringLiteral("Молоко"), 100.0},
                                                 {QStringLiteral("Хлеб"), 50.5}};

} // namespace

class PaymentFlowsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void paidAtStatusRequest_data();
    void paidAtStatusRequest();
    void outcomes_data();
    void outcomes();
    void failedStatusRequestIsReturnedThroughQueue();
    void interruptionIsCancelledThroughQueue();
    void itemizedPaymentAndItsRefund();
    void partialPaymentAndItsRefund();
    void cardDeletion_data();
    void cardDeletion();
    void damagedJournalStopsNoPayment_data();
    void damagedJournalStopsNoPayment();
    void queuedRefundIdThatIsNoTextGetsANewOne();
};

void PaymentFlowsTest::paidAtStatusRequest_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("statusRequests");
    QTest::newRow("first request") << QStringLiteral("ZVQR-PAY1") << 1;
    QTest::newRow("third request") << QStringLiteral("ZVQR-PAY3") << 3;
}

void PaymentFlowsTest::paidAtStatusRequest()
{
    QFETCH(QString, code);
    PluginTestBench bench;
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openReceipt(TwoPositions);

    const CpqrCheckResult check = processing->processCpqr(code);
    QVERIFY(check.accepted);
    QVERIFY(!processing->checkOption(processing::RequestPaymentCode));
    for (const QString &card : check.cardNumbers)
        Singleton<Session>::instance->getDocument()->addCard(card);

    const PaymentProcessingResult result
        = processing->payment(request(PaymentProcessingRequest::Sale, 15050));
    QCOMPARE(result.status, Status::Success);
    QVERIFY(result.message.isEmpty());
    const QJsonObject order = bench.order(result.operationId);
    QCOMPARE(order.value(QStringLiteral("state")).toString(), QStringLiteral("paid"));
    QTEST(order.value(QStringLiteral("statusRequests")).toInt(), "statusRequests");
    QCOMPARE(bench.requests(StartSession).size(), 1); // the scanned session served the payment

    const QJsonObject sent = bench.requests(CreateOrder).value(0).json();
    QCOMPARE(sent.value(QStringLiteral("cost")).toDouble(), 150.5);
    QCOMPARE(sent.value(QStringLiteral("cpqr_payload")).toString(), code);
    QCOMPARE(sent.value(QStringLiteral("posId")).toString(), QStringLiteral("0003"));
    QCOMPARE(sent.value(QStringLiteral("cashierId")).toString(), QStringLiteral("42"));
    QCOMPARE(sent.value(QStringLiteral("comment")).toString(), QStringLiteral("0012 03"));
    QCOMPARE(items(sent.value(QStringLiteral("cart")).toObject()).size(), 2);

    const QJsonObject data = QJsonDocument::fromJson(result.additionalData.toUtf8()).object();
    QCOMPARE(data.keys(), QStringList{QStringLiteral("cart")});
    const QJsonArray paidItems = items(data.value(QStringLiteral("cart")).toObject());
    QCOMPARE(paidItems.size(), 2);
    QCOMPARE(paidItems.at(1)[QStringLiteral("unit_price")].toString(), QStringLiteral("50.50"));

    const QStringList lines = bench.logLines();
    QVERIFY(lines.contains(QStringLiteral("INFO Оплата в чеке продажи на сумму 150.50")));
    QVERIFY(lines.contains(QStringLiteral("INFO Оплата выполнена успешно")));
    QCOMPARE(lines.last(), QStringLiteral("INFO Состояние сессии сброшено"));
    QVERIFY(processing->checkOption(processing::RequestPaymentCode));
}

void PaymentFlowsTest::outcomes_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<Status>("status");
    QTest::addColumn<QString>("messageId");
    QTest::addColumn<bool>("orderRegistered");
    QTest::addColumn<int>("queued");

    QTest::newRow("declined") << "ZVQR-DECLINE" << Status::Failure << "zorvikCpqrPaymentDeclined"
                              << true << 0;
    QTest::newRow("session refused")
        << "ZVQR-SESSIONERR" << Status::Failure << "zorvikCpqrError110" << false << 0;
    QTest::newRow("order refused")
        << "ZVQR-ORDERERR" << Status::Failure << "zorvikCpqrError131" << false << 0;
    QTest::newRow("status connection dropped")
        << "ZVQR-DROPSTATUS1" << Status::Failure << "restClientConnectionBroken" << true << 1;
    QTest::newRow("status HTTP 500")
        << "ZVQR-HTML5001" << Status::Failure << "restClientHttpError" << true << 1;
    // Answers that are not an order state count as "not paid yet": the next request decides.
    QTest::newRow("status not JSON") << "ZVQR-NOTJSON1" << Status::Success << "" << true << 0;
    QTest::newRow("status error envelope")
        << "ZVQR-STATUSERR1" << Status::Success << "" << true << 0;
}

void PaymentFlowsTest::outcomes()
{
    QFETCH(QString, code);
    QFETCH(bool, orderRegistered);
    PluginTestBench bench;
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openReceipt(TwoPositions);

    const PaymentProcessingResult result
        = processing->payment(request(PaymentProcessingRequest::Sale, 15050, code));
    QTEST(Status(result.status), "status");
    QTEST(result.message.id(), "messageId");
    QCOMPARE(!result.operationId.isEmpty(), orderRegistered);
    QCOMPARE(bench.orders().size(), int(orderRegistered));
    QTEST(bench.queuedMessages(), "queued");
}

void PaymentFlowsTest::failedStatusRequestIsReturnedThroughQueue()
{
    PluginTestBench bench;
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openReceipt(TwoPositions);

    // The lost answer reported the order paid: the queued cancellation must return the money.
    const PaymentProcessingResult result = processing->payment(
        request(PaymentProcessingRequest::Sale, 15050, QStringLiteral("ZVQR-DROPSTATUS1")));
    QCOMPARE(result.status, Status::Failure);
    QVERIFY(bench.logLines().contains(
        QStringLiteral("INFO Отмена оплаты %1 через очередь").arg(result.operationId)));
    QCOMPARE(bench.queuedMessages(), 1);

    QCOMPARE(bench.runQueue(processing), 1);
    QCOMPARE(bench.queuedMessages(), 0);
    const QJsonObject order = bench.order(result.operationId);
    QCOMPARE(order.value(QStringLiteral("returned")).toDouble(), 150.5);
    const QJsonObject returned = bench.requests(OrderReturn).value(0).json();
    QCOMPARE(returned.value(QStringLiteral("client_transaction")).toString(), result.operationId);
    QCOMPARE(returned.value(QStringLiteral("cost")).toDouble(), 150.5);
}

void PaymentFlowsTest::interruptionIsCancelledThroughQueue()
{
    zorviksim::SimulatorOptions options;
    options.orderExpiry = std::chrono::milliseconds(1500);
    PluginTestBench bench(options);
    BasicSbpProcessing *processing = bench.createProcessing();

    std::thread cashier([processing] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        processing->interruptPayment();
    });
    const PaymentProcessingResult result = processing->payment(
        request(PaymentProcessingRequest::Sale, 1000, QStringLiteral("ZVQR-NEVER")));
    cashier.join();

    QCOMPARE(result.status, Status::Interrupted);
    QVERIFY(result.message.isEmpty());
    QVERIFY(result.additionalData.isEmpty());
    QVERIFY(!result.operationId.isEmpty());
    QVERIFY(bench.logLines().contains(QStringLiteral("WARN Оплата прервана")));
    QCOMPARE(bench.queuedMessages(), 1);

    // Still registered: no return is possible yet, and the message stays.
    QCOMPARE(bench.runQueue(processing), 0);
    QCOMPARE(bench.queuedMessages(), 1);

    // Once the service has given the order up, the cancellation needs nothing more.
    QTRY_COMPARE_WITH_TIMEOUT(
        bench.order(result.operationId).value(QStringLiteral("state")).toString(),
        QStringLiteral("expired"),
        10000);
    QCOMPARE(bench.runQueue(processing), 1);
    QCOMPARE(bench.queuedMessages(), 0);
    QVERIFY(bench.logLines().contains(QStringLiteral("INFO Дальнейшая обработка не требуется")));
    QVERIFY(bench.requests(OrderReturn).size() == 1);
}

void PaymentFlowsTest::itemizedPaymentAndItsRefund()
{
    PluginTestBench bench;
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openReceipt(TwoPositions);
    const PaymentProcessingResult paid = processing->payment(
        request(PaymentProcessingRequest::Sale, 15050, QStringLiteral("ZVQR-PAY1")));
    QCOMPARE(paid.status, Status::Success);

    // The customer brings back the bread: the return receipt holds that position alone.
    bench.openReceipt(QByteArray(
        R"({"shopCode": 12, "cashCode": 3, "positions": [{"barcode": "461", "posnum": 2, "name": "Хлеб",
                                                    "quantity": 1, "sum": 50.5}]})"));
    const PaymentProcessingResult refunded = processing->payment(
        request(PaymentProcessingRequest::Refund, 5050, QString(), paid.operationId));
    QCOMPARE(refunded.status, Status::Success);
    QVERIFY(
        bench.logLines().contains(QStringLiteral("INFO Оплата в чеке возврата на сумму 50.50")));

    const QJsonObject sent = bench.requests(OrderReturn).value(0).json();
    QCOMPARE(refunded.operationId, sent.value(QStringLiteral("refundId")).toString());
    const QJsonArray refundItems = items(sent.value(QStringLiteral("refundCart")).toObject());
    QCOMPARE(refundItems.size(), 1);
    const QJsonObject item = refundItems.at(0).toObject();
    QCOMPARE(item.value(QStringLiteral("productId")).toString(), QStringLiteral("461_2"));
    QCOMPARE(item.value(QStringLiteral("itemPrice")).toDouble(), 50.5);
    QCOMPARE(item.value(QStringLiteral("total")).toDouble(), 50.5);
    QCOMPARE(bench.order(paid.operationId).value(QStringLiteral("returned")).toDouble(), 50.5);
}

void PaymentFlowsTest::partialPaymentAndItsRefund()
{
    PluginTestBench bench;
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openReceipt(TwoPositions);
    const PaymentProcessingResult paid = processing->payment(
        request(PaymentProcessingRequest::Sale, 5000, QStringLiteral("ZVQR-PAY1")));
    QCOMPARE(paid.status, Status::Success);
    const QJsonArray saleItems = items(
        bench.requests(CreateOrder).value(0).json().value(QStringLiteral("cart")).toObject());
    QCOMPARE(saleItems.size(), 1);
    QCOMPARE(saleItems.at(0)[QStringLiteral("title")].toString(),
             QStringLiteral("Частичная оплата заказа"));
    QCOMPARE(saleItems.at(0)[QStringLiteral("cost")].toDouble(), 50.0);

    const PaymentProcessingResult refunded = processing->cancel(
        request(PaymentProcessingRequest::Sale, 2000, QString(), paid.operationId));
    QCOMPARE(refunded.status, Status::Success);
    const QJsonObject refundItem = items(bench.requests(OrderReturn)
                                             .value(0)
                                             .json()
                                             .value(QStringLiteral("refundCart"))
                                             .toObject())
                                       .at(0)
                                       .toObject();
    QCOMPARE(refundItem.value(QStringLiteral("productId")).toString(), QString());
    QCOMPARE(refundItem.value(QStringLiteral("itemPrice")).toDouble(), 20.0);
    QCOMPARE(refundItem.value(QStringLiteral("total")).toDouble(), 20.0);
    QCOMPARE(refundItem.value(QStringLiteral("quantity"))[QStringLiteral("count")].toInt(), 1);
}

void PaymentFlowsTest::cardDeletion_data()
{
    QTest::addColumn<bool>("customerCardStays");
    QTest::newRow("another card removed") << true;
    QTest::newRow("customer's card removed") << false;
}

void PaymentFlowsTest::cardDeletion()
{
    QFETCH(bool, customerCardStays);
    PluginTestBench bench;
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openReceipt(TwoPositions, {QStringLiteral("1111")});

    const CpqrCheckResult check = processing->processCpqr(QStringLiteral("ZVQR-LOYALTY"));
    QVERIFY(check.cardNumbers.size() >= 3);
    const QSharedPointer<AbstractDocument> document = Singleton<Session>::instance->getDocument();
    document->addCard(check.cardNumbers.last());
    document->removeCard(customerCardStays ? QStringLiteral("1111") : check.cardNumbers.last());
    bench.clearLog();
    processing->onCardDelete();

    QCOMPARE(bench.logLines().contains(QStringLiteral("INFO Состояние сессии сброшено")),
             !customerCardStays);
    QCOMPARE(processing->checkOption(processing::RequestPaymentCode), !customerCardStays);
    const PaymentProcessingResult result
        = processing->payment(request(PaymentProcessingRequest::Sale, 15050));
    QCOMPARE(result.status, customerCardStays ? 0 : 1);
    if (!customerCardStays)
        QCOMPARE(result.message,
                 tr::Tr(QStringLiteral("zorvikCpqrNoCpqr"), QStringLiteral("Оплата недоступна")));
    QCOMPARE(bench.requests(StartSession).size(), 1);
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
    QTest::newRow("unreadable: a folder") << QByteArray() << QStringList() << unusable << false;
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
    if (bytes.isNull() && statements.isEmpty())
        QVERIFY(QDir().mkpath(path));
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
    const PaymentProcessingResult paid = processing->payment(
        request(PaymentProcessingRequest::Sale, 15050, QStringLiteral("ZVQR-PAY1")));

    QCOMPARE(paid.status, Status::Success);
    const QStringList errors = bench.logLines().filter(QStringLiteral("ERROR"));
    QVERIFY2(errors.value(0).startsWith(errorLine.arg(path)), qPrintable(errors.value(0)));
    QCOMPARE(errors.size(), paymentsNoted ? 1 : 2);
    if (!paymentsNoted)
        QVERIFY(errors.value(1).startsWith(
            QStringLiteral("ERROR Не удалось записать оплату %1 в журнал оплат %2: ")
                .arg(paid.operationId, path)));
    QCOMPARE(bench.queuedMessages(), 0);
    if (file.open(QIODevice::ReadOnly) && statements.isEmpty())
        QCOMPARE(file.readAll(), before);
}

void PaymentFlowsTest::queuedRefundIdThatIsNoTextGetsANewOne()
{
    PluginTestBench bench;
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openReceipt(TwoPositions);
    const PaymentProcessingResult paid = processing->payment(
        request(PaymentProcessingRequest::Sale, 15050, QStringLiteral("ZVQR-PAY1")));
    const QVariantMap stored{{QStringLiteral("request"),
                              QVariantMap{{QStringLiteral("operationId"), paid.operationId},
                                          {QStringLiteral("amount"), 15050}}},
                             {QStringLiteral("refundId"), 7}};

    QVERIFY(processing->sendEnqueuedMessage(stored));

    QVERIFY(bench.logLines().contains(
        QStringLiteral("ERROR Некорректный идентификатор возврата в сообщении очереди, возврат по "
                       "операции %1 получит новый")
            .arg(paid.operationId)));
    const QString refundId
        = bench.requests(OrderReturn).value(0).json().value(QStringLiteral("refundId")).toString();
    QCOMPARE(refundId.size(), 36);
    QCOMPARE(bench.order(paid.operationId).value(QStringLiteral("returned")).toDouble(), 150.5);
}

QTEST_GUILESS_MAIN(PaymentFlowsTest)
#include "tst_paymentflows.moc"
