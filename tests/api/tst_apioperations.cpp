#include "LogCapture.h"
#include "RecordingInterface.h"

#include "host/AbstractDocument.h"
#include "host/Session.h"
#include "host/User.h"
#include "host/payment/PaymentProcessingRequest.h"

#include <QJsonArray>
#include <QTest>

#include <optional>

using namespace zorvikcpqr;

namespace {

QJsonObject jsonObject(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

QString compact(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// The cart of a payment for part of a receipt, with the item's price members.
QByteArray partialPaymentCart(const QByteArray &prices)
{
    return R"({"items":[{"productId":"","quantity":{"count":1},"title":"Частичная оплата заказа",)"
           + prices + "}]}";
}

// Opens a receipt whose positions are given as JSON rows [barcode, posnum, name, quantity, sum];
// a number among them is the receipt's own total (a discount on the whole receipt).
void openReceipt(const QByteArray &positions)
{
    const auto receipt = QSharedPointer<AbstractDocument>::create(12, 3);
    const QJsonArray rows = QJsonDocument::fromJson(positions).array();
    for (const QJsonValue &value : rows) {
        const QJsonArray row = value.toArray();
        if (value.isDouble())
            receipt->setSum(value.toDouble());
        else
            receipt->addGoodsItem(QSharedPointer<GoodsItem>::create(row.at(0).toString(),
                                                                    row.at(1).toInt(),
                                                                    row.at(2).toString(),
                                                                    row.at(3).toDouble(),
                                                                    row.at(4).toDouble()));
    }
    singletonInstance<Session>()->setDocument(receipt);
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

// The return request of 50.50 for the order "ct-1" under the refund id "r-1".
QString returnRequest(const QByteArray &refundCart)
{
    QJsonObject body{{QStringLiteral("client_transaction"), QStringLiteral("ct-1")},
                     {QStringLiteral("cost"), 50.5},
                     {QStringLiteral("refundId"), QStringLiteral("r-1")}};
    if (!refundCart.isEmpty())
        body.insert(QStringLiteral("refundCart"), jsonObject(refundCart));
    return QStringLiteral("POST /cpqr/operation/return ") + compact(body);
}

// The steps of an order: its identifier, cart and comment asked through the virtual table in
// this order, then the request with that body.
QStringList orderSteps(const QString &cost, const QByteArray &body)
{
    return {QStringLiteral("createTransactionId"),
            QStringLiteral("getCart ") + cost,
            QStringLiteral("getComment"),
            QStringLiteral("POST /cpqr/operation/create ") + compact(jsonObject(body))};
}

} // namespace

class OperationsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void operationsSendTheirRequest_data();
    void operationsSendTheirRequest();
    void aFixedIdentifierNamesOneRequestOnly();
    void operationReturnChoosesTheRefundCart_data();
    void operationReturnChoosesTheRefundCart();
    void saleCart_data();
    void saleCart();

private:
    // Runs the operation of a row; gives the identifier its record carries.
    QString run(const QString &operation, qint64 amount, const QByteArray &paidCart);

    std::optional<RecordingInterface> m_client;
};

void OperationsTest::init()
{
    m_client.emplace();
    // The operations hand over whatever the exchange gave, a failure included.
    m_client->answer.transportError = true;
    m_client->answer.timedOut = true;
    m_client->setCommentMask(QStringLiteral("%(document.shopCode[04d]) %(document.cashCode[02d])"));

    Session *session = singletonInstance<Session>();
    session->setPosId(QStringLiteral("17"));
    session->setCurrentUser(QSharedPointer<User>::create(QVariant(42)));
    openReceipt(R"([["4600001",1,"Хлеб",2,100],["4600002",2,"Молоко",1,50.5]])");
}

QString OperationsTest::run(const QString &operation, qint64 amount, const QByteArray &paidCart)
{
    if (operation == QLatin1String("start"))
        return m_client->startSession(QStringLiteral("ZVQR-0001")).cpqrPayload;
    if (operation == QLatin1String("return"))
        return m_client
            ->operationReturn(requestFor(amount, QStringLiteral("ct-1")), paidOrder(paidCart))
            .refundTransaction;
    if (operation == QLatin1String("result"))
        m_client->operationResult(QStringLiteral("ct-1"));
    if (operation == QLatin1String("cancel"))
        m_client->operationCancel(QStringLiteral("ct-1"));
    if (!operation.startsWith(QLatin1String("order")))
        return QString();
    if (operation == QLatin1String("order by nobody"))
        singletonInstance<Session>()->setCurrentUser({});
    return m_client->createOrder(requestFor(amount), startedSession()).clientTransaction;
}

void OperationsTest::operationsSendTheirRequest_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<qint64>("amount");
    QTest::addColumn<QByteArray>("paidCart");
    QTest::addColumn<QByteArray>("scripted"); // cart and comment; empty: the real ones
    QTest::addColumn<QStringList>("steps");   // the virtual calls, the request last
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("recordId");

    const QStringList orderLog{QStringLiteral("INFO Создание запроса на оплату"),
                               QStringLiteral("INFO Создание заказа 'id-1'")};
    QTest::newRow("start session")
        << "start" << qint64(0) << QByteArray() << QByteArray()
        << QStringList{R"(POST /cpqr/start_session {"cpqr_payload":"ZVQR-0001"})"}
        << QStringList{"INFO Начало сессии быстрой оплаты"} << "ZVQR-0001";
    QTest::newRow("result: the identifier in the query")
        << "result" << qint64(0) << QByteArray() << QByteArray()
        << QStringList{"GET /cpqr/operation/result?client_transaction=ct-1"}
        << QStringList{"INFO Получение результата операции ct-1"} << QString();
    QTest::newRow("cancel")
        << "cancel" << qint64(0) << QByteArray() << QByteArray()
        << QStringList{R"(POST /cpqr/operation/cancel {"client_transaction":"ct-1"})"}
        << QStringList{"INFO Отмена операции ct-1"} << QString();
    QTest::newRow("order of the whole receipt, default comment")
        << "order" << qint64(15050) << QByteArray() << QByteArray()
        << orderSteps(
               "150.5",
               R"({"cpqr_payload":"ZVQR-0001","quickpay_id":"qp-1","client_transaction":"id-1",)"
               R"("cost":150.5,"posId":"17","cashierId":"42","comment":"0012 03","cart":{"items":[)"
               R"({"productId":"4600001_1","quantity":{"count":2},"title":"Хлеб","cost":100,"unit_price":50},)"
               R"({"productId":"4600002_2","quantity":{"count":1},"title":"Молоко","cost":50.5,"unit_price":50.5}]}})")
        << orderLog << "id-1";
    QTest::newRow("order of a kopeck without a cashier: an empty cart and comment left out")
        << "order by nobody" << qint64(1) << QByteArray()
        << QByteArray(R"({"cart":{},"comment":""})")
        << orderSteps(
               "0.01",
               R"({"cpqr_payload":"ZVQR-0001","quickpay_id":"qp-1","client_transaction":"id-1",)"
               R"("cost":0.01,"posId":"17","cashierId":""})")
        << orderLog << "id-1";
    QTest::newRow("return of a partial payment")
        << "return" << qint64(5050) << QByteArray(R"({"items":[{"productId":""}]})") << QByteArray()
        << QStringList{"createTransactionId",
                       QString(
                           returnRequest(partialPaymentCart(R"("itemPrice":50.5,"total":50.5)")))
                           .replace("r-1", "id-1")}
        << QStringList{"INFO Возврат по операции ct-1", "INFO  операция возврата: id-1"} << "id-1";
}

void OperationsTest::operationsSendTheirRequest()
{
    QFETCH(QString, operation);
    QFETCH(qint64, amount);
    QFETCH(QByteArray, paidCart);
    QFETCH(QByteArray, scripted);
    if (!scripted.isEmpty()) {
        m_client->cart = jsonObject(scripted).value(QStringLiteral("cart")).toObject();
        m_client->comment = jsonObject(scripted).value(QStringLiteral("comment")).toString();
    }
    LogCapture log;

    QTEST(run(operation, amount, paidCart), "recordId");

    QTEST(m_client->steps, "steps");
    QTEST(log.lines(), "log");
}

// A fixed identifier that stayed for the next order or return would register two orders, or
// name two returns, alike.
void OperationsTest::aFixedIdentifierNamesOneRequestOnly()
{
    m_client->setNextOrderId(QStringLiteral("ct-fixed"));
    QCOMPARE(run(QStringLiteral("order"), 100, {}), QStringLiteral("ct-fixed"));
    QCOMPARE(run(QStringLiteral("order"), 100, {}), QStringLiteral("id-1"));
    m_client->setNextReturn(ReturnOptions{QStringLiteral("r-fixed"), true});
    QCOMPARE(run(QStringLiteral("return"), 100, "{}"), QStringLiteral("r-fixed"));
    QCOMPARE(run(QStringLiteral("return"), 100, "{}"), QStringLiteral("id-2"));
}

void OperationsTest::operationReturnChoosesTheRefundCart_data()
{
    QTest::addColumn<QByteArray>("paidCart");
    QTest::addColumn<QByteArray>("positions"); // of the return receipt; empty: as sold
    QTest::addColumn<bool>("fromQueue");       // the open receipt is not the return's
    QTest::addColumn<QByteArray>("refundCart");

    const QByteArray partial = partialPaymentCart(R"("itemPrice":50.5,"total":50.5)");
    const QByteArray itemized(
        R"({"items":[{"productId":"4600001_1","quantity":{"count":2},"itemPrice":50,"total":100},)"
        R"({"productId":"4600002_2","quantity":{"count":1},"itemPrice":0,"total":50.5}]})");
    const QByteArray paidFirst(R"({"items":[{"productId":"4600001_1","unit_price":"50"}]})");
    const QByteArray none;

    QTest::newRow("second item without product id")
        << QByteArray(R"({"items":[{"productId":"4600001_1","unit_price":"50"},{"productId":""}]})")
        << none << false << partial;
    QTest::newRow("product id missing")
        << QByteArray(R"({"items":[{"unit_price":"50"}]})") << none << false << partial;
    QTest::newRow("partial even without a return receipt")
        << QByteArray(R"({"items":[{"productId":""}]})") << QByteArray("[]") << false << partial;
    QTest::newRow("every item identified, an unknown one at 0") << QByteArray(
        R"({"items":[{"productId":"4600001_1","unit_price":"50"},{"productId":"9_9"}]})")
                                                                << none << false << itemized;
    QTest::newRow("no items: itemized, not partial")
        << QByteArray(R"({"items":[]})") << none << false
        << QByteArray(itemized).replace(R"("itemPrice":50)", R"("itemPrice":0)");
    QTest::newRow("itemized without return positions")
        << paidFirst << QByteArray("[]") << false << none;
    QTest::newRow("from the queue, partial")
        << QByteArray(R"({"items":[{"productId":""}]})") << none << true << partial;
    QTest::newRow("from the queue, itemized: no positions of a stranger's receipt")
        << paidFirst << none << true << none;
    QTest::newRow("rounded quantity and total, odd prices count as none, a later duplicate wins")
        << QByteArray(
               R"({"items":[{"productId":"1_1","unit_price":"10"},{"productId":"1_1","unit_price":"12.505"},)"
               R"({"productId":"2_2","unit_price":10.5},{"productId":"3_3","unit_price":"10,5"},)"
               R"({"productId":"4_4","unit_price":"inf"}]})")
        << QByteArray(
               R"([["1",1,"А",1.0004,3.333],["2",2,"Б",1,1],["3",3,"В",1,1],["4",4,"Г",1,1]])")
        << false
        << QByteArray(
               R"({"items":[{"productId":"1_1","quantity":{"count":1},"itemPrice":12.505,"total":3.33},)"
               R"({"productId":"2_2","quantity":{"count":1},"itemPrice":0,"total":1},)"
               R"({"productId":"3_3","quantity":{"count":1},"itemPrice":0,"total":1},)"
               R"({"productId":"4_4","quantity":{"count":1},"itemPrice":0,"total":1}]})");
}

void OperationsTest::operationReturnChoosesTheRefundCart()
{
    QFETCH(QByteArray, paidCart);
    QFETCH(QByteArray, positions);
    QFETCH(bool, fromQueue);
    QFETCH(QByteArray, refundCart);
    if (!positions.isEmpty())
        openReceipt(positions);

    m_client->setNextReturn(ReturnOptions{QStringLiteral("r-1"), !fromQueue});
    run(QStringLiteral("return"), 5050, paidCart);

    QCOMPARE(m_client->sent, QStringList{returnRequest(refundCart)});
}

void OperationsTest::saleCart_data()
{
    QTest::addColumn<QByteArray>("positions");
    QTest::addColumn<double>("amount");
    QTest::addColumn<QByteArray>("cart");

    QTest::newRow("receipt total within half a kopeck, itemized")
        << QByteArray(R"([100.004,["123",1,"Чай",1,120]])") << 100.0
        << QByteArray(R"({"items":[{"productId":"123_1","quantity":{"count":1},"title":"Чай",)"
                      R"("cost":120,"unit_price":120}]})");
    QTest::newRow("exactly half a kopeck off, partial payment")
        << QByteArray(R"([["123",1,"Чай",1,0.005]])") << 0.0
        << partialPaymentCart(R"("cost":0,"unit_price":0)");
    QTest::newRow("unit price from unrounded values")
        << QByteArray(R"([["",12,"Сыр",1.5,100]])") << 100.0
        << QByteArray(R"({"items":[{"productId":"_12","quantity":{"count":1.5},"title":"Сыр",)"
                      R"("cost":100,"unit_price":66.67}]})");
    QTest::newRow("rounded quantity and cost")
        << QByteArray(R"([["5",1,"Гвозди",2.0005,10.005]])") << 10.005
        << QByteArray(R"({"items":[{"productId":"5_1","quantity":{"count":2.001},"title":"Гвозди",)"
                      R"("cost":10.01,"unit_price":5}]})");
    QTest::newRow("position without quantity priced at its sum")
        << QByteArray(R"([["7",3,"Пакет",0,5.555]])") << 5.555
        << QByteArray(R"({"items":[{"productId":"7_3","quantity":{"count":0},"title":"Пакет",)"
                      R"("cost":5.56,"unit_price":5.56}]})");
    QTest::newRow("empty receipt, nothing to pay")
        << QByteArray("[]") << 0.0 << QByteArray(R"({"items":[]})");
}

void OperationsTest::saleCart()
{
    QFETCH(QByteArray, positions);
    QFETCH(double, amount);
    QFETCH(QByteArray, cart);
    openReceipt(positions);

    QCOMPARE(compact(m_client->getCart(amount)), compact(jsonObject(cart)));
}

QTEST_GUILESS_MAIN(OperationsTest)
#include "tst_apioperations.moc"
