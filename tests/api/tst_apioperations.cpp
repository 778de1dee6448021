#include "LogCapture.h"
#include "RecordingInterface.h"

#include "host/AbstractDocument.h"
#include "host/Session.h"
#include "host/User.h"
#include "host/payment/PaymentProcessingRequest.h"

#include <QJsonDocument>
#include <QTest>

using namespace zorvikcpqr;

namespace {

QJsonObject jsonObject(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

PaymentProcessingRequest requestFor(qint64 amount, const QString &operationId = QString())
{
    PaymentProcessingRequest request;
    request.type = PaymentProcessingRequest::Sale;
    request.amount = amount;
    request.operationId = operationId;
    request.paymentCode = QStringLiteral("ZVQR-SCANNED-AGAIN");
    return request;
}

StartSessionResult startedSession()
{
    RequestResult answer;
    answer.json = jsonObject(R"({"quickpay_id":"qp-1","merchant_payload":"m"})");
    StartSessionResult started(answer);
    started.cpqrPayload = QStringLiteral("ZVQR-0001");
    return started;
}

OperationResult paidOrder(const QByteArray &cartJson)
{
    RequestResult answer;
    answer.json = jsonObject(R"({"status":1,"result":true,"cart":)" + cartJson + "}");
    return OperationResult(answer);
}

} // namespace

class OperationsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void sessionResultAndCancelSendTheirRequest_data();
    void sessionResultAndCancelSendTheirRequest();
    void createOrderSendsTheSessionTheTillAndTheRoundedCost_data();
    void createOrderSendsTheSessionTheTillAndTheRoundedCost();
    void everyOrderKeepsItsOwnIdentifierWhenTheExchangeFails();
    void aFixedIdentifierNamesOneRequestOnly();
    void operationReturnSendsCostAndIdentifiers();
    void operationReturnChoosesTheRefundCart_data();
    void operationReturnChoosesTheRefundCart();

private:
    RecordingInterface m_client;
};

void OperationsTest::init()
{
    m_client.sent.clear();
    m_client.answer = RequestResult();
    m_client.answer.json = jsonObject(R"({"status":0})");
    m_client.setCommentMask(QString());

    Session *session = singletonInstance<Session>();
    session->setPosId(QStringLiteral("17"));
    session->setCurrentUser(QSharedPointer<User>::create(QVariant(42)));
    const auto receipt = QSharedPointer<AbstractDocument>::create(7, 3);
    receipt->addGoodsItem(QSharedPointer<GoodsItem>::create(
        QStringLiteral("4600001"), 1, QStringLiteral("Хлеб"), 2.0, 100.0));
    receipt->addGoodsItem(QSharedPointer<GoodsItem>::create(
        QStringLiteral("4600002"), 2, QStringLiteral("Молоко"), 1.0, 50.5));
    session->setDocument(receipt);
}

void OperationsTest::sessionResultAndCancelSendTheirRequest_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("log");

    QTest::newRow("start session") << QByteArray("POST") << "/cpqr/start_session"
                                   << QByteArray(R"({"cpqr_payload":"ZVQR-0001"})") << QString()
                                   << "INFO Начало сессии быстрой оплаты";
    QTest::newRow("result") << QByteArray("GET") << "/cpqr/operation/result" << QByteArray("{}")
                            << "client_transaction=ct-1"
                            << "INFO Получение результата операции ct-1";
    QTest::newRow("cancel") << QByteArray("POST") << "/cpqr/operation/cancel"
                            << QByteArray(R"({"client_transaction":"ct-1"})") << QString()
                            << "INFO Отмена операции ct-1";
}

void OperationsTest::sessionResultAndCancelSendTheirRequest()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, log);
    const QByteArray operation = QTest::currentDataTag();
    LogCapture capture;

    if (operation == "start session")
        QCOMPARE(m_client.startSession(QStringLiteral("ZVQR-0001")).cpqrPayload,
                 QStringLiteral("ZVQR-0001"));
    else if (operation == "result")
        m_client.operationResult(QStringLiteral("ct-1"));
    else
        m_client.operationCancel(QStringLiteral("ct-1"));

    QCOMPARE(capture.lines(), QStringList{log});
    QCOMPARE(m_client.sent.size(), 1);
    const RecordingInterface::SentRequest &sent = m_client.sent.first();
    QTEST(sent.method, "method");
    QTEST(sent.path, "path");
    QCOMPARE(sent.body, jsonObject(body));
    QTEST(sent.query.query(QUrl::FullyEncoded), "query");
}

void OperationsTest::createOrderSendsTheSessionTheTillAndTheRoundedCost_data()
{
    QTest::addColumn<qint64>("amount");
    QTest::addColumn<double>("cost");
    QTest::addColumn<bool>("withCashier");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("comment");

    const QString defaultMask
        = QStringLiteral("%(document.shopCode[04d]) %(document.cashCode[02d])");
    QTest::newRow("whole receipt") << qint64(15050) << 150.5 << true << defaultMask << "0007 03";
    QTest::newRow("one kopeck, no cashier") << qint64(1) << 0.01 << false << "Магазин"
                                            << "Магазин";
    QTest::newRow("nothing, empty mask") << qint64(0) << 0.0 << true << QString() << QString();
    QTest::newRow("negative, mask expanding to nothing")
        << qint64(-250) << -2.5 << true << "%(document.unknown)" << QString();
}

void OperationsTest::createOrderSendsTheSessionTheTillAndTheRoundedCost()
{
    QFETCH(qint64, amount);
    QFETCH(double, cost);
    QFETCH(bool, withCashier);
    QFETCH(QString, mask);
    QFETCH(QString, comment);
    if (!withCashier)
        singletonInstance<Session>()->setCurrentUser({});
    m_client.setCommentMask(mask);

    const CreateOrderResult result = m_client.createOrder(requestFor(amount), startedSession());

    QCOMPARE(m_client.sent.first().path, QStringLiteral("/cpqr/operation/create"));
    const QJsonObject body = m_client.sent.first().body;
    QStringList keys{
        "cart", "cashierId", "client_transaction", "cost", "cpqr_payload", "posId", "quickpay_id"};
    if (!comment.isEmpty())
        keys.append(QStringLiteral("comment"));
    keys.sort(); // QJsonObject lists its keys sorted
    QCOMPARE(body.keys(), keys);
    QCOMPARE(body.value(QStringLiteral("cost")), QJsonValue(cost));
    QCOMPARE(body.value(QStringLiteral("cart")).toObject(), m_client.getCart(cost));
    // The code the session was started with, not the one scanned for this payment.
    QCOMPARE(body.value(QStringLiteral("cpqr_payload")).toString(), QStringLiteral("ZVQR-0001"));
    QCOMPARE(body.value(QStringLiteral("quickpay_id")).toString(), QStringLiteral("qp-1"));
    QCOMPARE(body.value(QStringLiteral("posId")).toString(), QStringLiteral("17"));
    QCOMPARE(body.value(QStringLiteral("cashierId")),
             QJsonValue(withCashier ? QStringLiteral("42") : QString()));
    QCOMPARE(body.value(QStringLiteral("client_transaction")).toString(), result.clientTransaction);
    QCOMPARE(body.value(QStringLiteral("comment")).toString(), comment);
}

void OperationsTest::everyOrderKeepsItsOwnIdentifierWhenTheExchangeFails()
{
    m_client.answer = RequestResult();
    m_client.answer.transportError = true;
    m_client.answer.timedOut = true;
    const CreateOrderResult first = m_client.createOrder(requestFor(100), startedSession());
    LogCapture log;

    const CreateOrderResult second = m_client.createOrder(requestFor(100), startedSession());

    QVERIFY(!second.success());
    QVERIFY(second.timedOut);
    QCOMPARE(second.clientTransaction.size(), 36);
    QVERIFY(first.clientTransaction != second.clientTransaction);
    QCOMPARE(m_client.sent.at(1).body.value(QStringLiteral("client_transaction")).toString(),
             second.clientTransaction);
    QCOMPARE(
        log.lines(),
        QStringList({QStringLiteral("INFO Создание запроса на оплату"),
                     QStringLiteral("INFO Создание заказа '%1'").arg(second.clientTransaction)}));
}

// A fixed identifier that stayed for the next order or return would register two orders, or
// name two returns, alike.
void OperationsTest::aFixedIdentifierNamesOneRequestOnly()
{
    const auto sentId = [this](int index, const char *key) {
        return m_client.sent.at(index).body.value(QLatin1String(key)).toString();
    };
    m_client.setNextOrderId(QStringLiteral("ct-fixed"));
    QCOMPARE(m_client.createOrder(requestFor(100), startedSession()).clientTransaction,
             QStringLiteral("ct-fixed"));
    m_client.createOrder(requestFor(100), startedSession());
    m_client.setNextReturn(ReturnOptions{QStringLiteral("r-fixed"), true});
    QCOMPARE(m_client.operationReturn(requestFor(100, QStringLiteral("ct-1")), paidOrder("{}"))
                 .refundTransaction,
             QStringLiteral("r-fixed"));
    m_client.operationReturn(requestFor(100, QStringLiteral("ct-1")), paidOrder("{}"));

    QCOMPARE(sentId(0, "client_transaction"), QStringLiteral("ct-fixed"));
    QCOMPARE(sentId(1, "client_transaction").size(), 36);
    QCOMPARE(sentId(2, "refundId"), QStringLiteral("r-fixed"));
    QCOMPARE(sentId(3, "refundId").size(), 36);
}

void OperationsTest::operationReturnSendsCostAndIdentifiers()
{
    m_client.answer = RequestResult();
    m_client.answer.transportError = true;
    LogCapture log;

    const ReturnResult result
        = m_client.operationReturn(requestFor(5050, QStringLiteral("ct-1")), paidOrder("{}"));

    const QJsonObject body = m_client.sent.first().body;
    QCOMPARE(m_client.sent.first().path, QStringLiteral("/cpqr/operation/return"));
    QCOMPARE(body.value(QStringLiteral("cost")), QJsonValue(50.5));
    QCOMPARE(body.value(QStringLiteral("client_transaction")).toString(), QStringLiteral("ct-1"));
    QCOMPARE(result.refundTransaction.size(), 36);
    QCOMPARE(body.value(QStringLiteral("refundId")).toString(), result.refundTransaction);
    QVERIFY(!result.success());
    QCOMPARE(
        log.lines(),
        QStringList({QStringLiteral("INFO Возврат по операции ct-1"),
                     QStringLiteral("INFO  операция возврата: %1").arg(result.refundTransaction)}));
}

void OperationsTest::operationReturnChoosesTheRefundCart_data()
{
    QTest::addColumn<QByteArray>("paidCart");
    QTest::addColumn<bool>("emptyReturnReceipt");
    QTest::addColumn<QByteArray>("refundCart");
    QTest::addColumn<bool>("fromQueue"); // the open receipt is not the return's

    const QByteArray partial
        = RecordingInterface::partialPaymentCart(R"("itemPrice":50.5,"total":50.5)");
    const QByteArray itemized(
        R"({"items":[{"productId":"4600001_1","quantity":{"count":2},"itemPrice":50,"total":100},)"
        R"({"productId":"4600002_2","quantity":{"count":1},"itemPrice":0,"total":50.5}]})");

    QTest::newRow("second item without product id")
        << QByteArray(R"({"items":[{"productId":"4600001_1","unit_price":"50"},{"productId":""}]})")
        << false << partial << false;
    QTest::newRow("product id missing")
        << QByteArray(R"({"items":[{"unit_price":"50"}]})") << false << partial << false;
    QTest::newRow("product id not text")
        << QByteArray(R"({"items":[{"productId":7,"unit_price":"50"}]})") << false << partial
        << false;
    QTest::newRow("partial even without a return receipt")
        << QByteArray(R"({"items":[{"productId":""}]})") << true << partial << false;
    QTest::newRow("every item identified") << QByteArray(
        R"({"items":[{"productId":"4600001_1","unit_price":"50"},{"productId":"9_9"}]})")
                                           << false << itemized << false;
    QTest::newRow("no items, itemized")
        << QByteArray(R"({"items":[]})") << false
        << QByteArray(
               R"({"items":[{"productId":"4600001_1","quantity":{"count":2},"itemPrice":0,"total":100},)"
               R"({"productId":"4600002_2","quantity":{"count":1},"itemPrice":0,"total":50.5}]})")
        << false;
    QTest::newRow("itemized without return positions")
        << QByteArray(R"({"items":[{"productId":"4600001_1","unit_price":"50"}]})") << true
        << QByteArray() << false;
    QTest::newRow("from the queue, partial")
        << QByteArray(R"({"items":[{"productId":""}]})") << false << partial << true;
    QTest::newRow("from the queue, itemized: no positions of a stranger's receipt")
        << QByteArray(R"({"items":[{"productId":"4600001_1","unit_price":"50"}]})") << false
        << QByteArray() << true;
}

void OperationsTest::operationReturnChoosesTheRefundCart()
{
    QFETCH(QByteArray, paidCart);
    QFETCH(bool, emptyReturnReceipt);
    QFETCH(QByteArray, refundCart);
    QFETCH(bool, fromQueue);
    if (emptyReturnReceipt)
        singletonInstance<Session>()->setDocument(QSharedPointer<AbstractDocument>::create());

    m_client.setNextReturn(ReturnOptions{QStringLiteral("r-1"), !fromQueue});
    m_client.operationReturn(requestFor(5050, QStringLiteral("ct-1")), paidOrder(paidCart));

    const QJsonObject body = m_client.sent.first().body;
    QCOMPARE(body.contains(QStringLiteral("refundCart")), !refundCart.isEmpty());
    QCOMPARE(QJsonDocument(body.value(QStringLiteral("refundCart")).toObject())
                 .toJson(QJsonDocument::Compact),
             QJsonDocument(jsonObject(refundCart)).toJson(QJsonDocument::Compact));
}

QTEST_GUILESS_MAIN(OperationsTest)
#include "tst_apioperations.moc"
