#include "RecordingInterface.h"

#include "host/AbstractDocument.h"
#include "host/Session.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace zorvikcpqr;

namespace {

// Opens a receipt whose positions are given as JSON rows [barcode, posnum, name, quantity, sum].
void openReceipt(const QByteArray &positions)
{
    const auto receipt = QSharedPointer<AbstractDocument>::create();
    const QJsonArray rows = QJsonDocument::fromJson(positions).array();
    for (const QJsonValue &value : rows) {
        const QJsonArray row = value.toArray();
        receipt->addGoodsItem(QSharedPointer<GoodsItem>::create(row.at(0).toString(),
                                                                row.at(1).toInt(),
                                                                row.at(2).toString(),
                                                                row.at(3).toDouble(),
                                                                row.at(4).toDouble()));
    }
    singletonInstance<Session>()->setDocument(receipt);
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The expected cart, written as readable JSON, in the key order the client's output has.
QByteArray normalised(const QByteArray &json)
{
    return compact(QJsonDocument::fromJson(json).object());
}

OperationResult paidOrderWithCart(const QByteArray &cartJson)
{
    RequestResult answer;
    answer.json
        = QJsonDocument::fromJson(R"({"status":1,"result":true,"cart":)" + cartJson + "}").object();
    return OperationResult(answer);
}

} // namespace

class CartsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void saleCart_data();
    void saleCart();
    void saleCartHonoursTheReceiptTotal();
    void refundCart_data();
    void refundCart();

private:
    RecordingInterface m_client;
};

void CartsTest::saleCart_data()
{
    QTest::addColumn<QByteArray>("positions");
    QTest::addColumn<double>("amount");
    QTest::addColumn<QByteArray>("cart");

    QTest::newRow("within half a kopeck, itemized")
        << QByteArray(R"([["123",1,"Чай",1,100.004]])") << 100.0
        << QByteArray(R"({"items":[{"productId":"123_1","quantity":{"count":1},"title":"Чай",)"
                      R"("cost":100,"unit_price":100}]})");
    QTest::newRow("exactly half a kopeck off, partial payment")
        << QByteArray(R"([["123",1,"Чай",1,0.005]])") << 0.0
        << RecordingInterface::partialPaymentCart(R"("cost":0,"unit_price":0)");
    QTest::newRow("unit price from unrounded values")
        << QByteArray(R"([["",12,"Сыр",1.5,100]])") << 100.0
        << QByteArray(R"({"items":[{"productId":"_12","quantity":{"count":1.5},"title":"Сыр",)"
                      R"("cost":100,"unit_price":66.67}]})");
    QTest::newRow("rounded quantity and cost")
        << QByteArray(R"([["5",1,"Гвозди",2.0005,10.005]])") << 10.005
        << QByteArray(R"({"items":[{"productId":"5_1","quantity":{"count":2.001},"title":"Гвозди",)"
                      R"("cost":10.01,"unit_price":5}]})");
    QTest::newRow("receipt order, one item per position")
        << QByteArray(R"([["123",2,"Б",1,1],["123",1,"А",1,1],["123",2,"Б",1,1]])") << 3.0
        << QByteArray(
               R"({"items":[)"
               R"({"productId":"123_2","quantity":{"count":1},"title":"Б","cost":1,"unit_price":1},)"
               R"({"productId":"123_1","quantity":{"count":1},"title":"А","cost":1,"unit_price":1},)"
               R"({"productId":"123_2","quantity":{"count":1},"title":"Б","cost":1,"unit_price":1}]})");
    QTest::newRow("position without quantity priced at its sum")
        << QByteArray(R"([["7",3,"Пакет",0,5.555]])") << 5.555
        << QByteArray(R"({"items":[{"productId":"7_3","quantity":{"count":0},"title":"Пакет",)"
                      R"("cost":5.56,"unit_price":5.56}]})");
    QTest::newRow("free position without quantity")
        << QByteArray(R"([["7",3,"Пакет",0,0]])") << 0.0
        << QByteArray(R"({"items":[{"productId":"7_3","quantity":{"count":0},"title":"Пакет",)"
                      R"("cost":0,"unit_price":0}]})");
    QTest::newRow("empty receipt, nothing to pay")
        << QByteArray("[]") << 0.0 << QByteArray(R"({"items":[]})");
    QTest::newRow("empty receipt, an amount to pay")
        << QByteArray("[]") << 100.0
        << RecordingInterface::partialPaymentCart(R"("cost":100,"unit_price":100)");
}

void CartsTest::saleCart()
{
    QFETCH(QByteArray, positions);
    QFETCH(double, amount);
    QFETCH(QByteArray, cart);
    openReceipt(positions);

    QCOMPARE(compact(m_client.getCart(amount)), normalised(cart));
}

void CartsTest::saleCartHonoursTheReceiptTotal()
{
    // The receipt's own total decides, not the sum of its positions (a discount on the whole).
    openReceipt(R"([["1",1,"А",1,60],["2",2,"Б",1,40]])");
    singletonInstance<Session>()->getDocument()->setSum(90.0);

    const QJsonArray items = m_client.getCart(90.0).value(QStringLiteral("items")).toArray();
    QCOMPARE(items.size(), 2);
    QCOMPARE(compact(m_client.getCart(100.0)).count("Частичная оплата заказа"), 1);
}

void CartsTest::refundCart_data()
{
    QTest::addColumn<QByteArray>("paidCart");
    QTest::addColumn<QByteArray>("positions");
    QTest::addColumn<QByteArray>("refundCart");

    const QByteArray onePosition(R"([["123",1,"Чай",2,21]])");
    const auto refundOf = [](const char *price) -> QByteArray {
        return QByteArray(R"({"items":[{"productId":"123_1","quantity":{"count":2},"itemPrice":)")
               + price + R"(,"total":21}]})";
    };

    QTest::newRow("prices by product id, unknown id at 0")
        << QByteArray(R"({"items":[{"productId":"123_1","unit_price":"10.50"},)"
                      R"({"productId":"456_2","unit_price":"3.333"}]})")
        << QByteArray(R"([["123",1,"Чай",2,21],["456",2,"Мёд",1,3.333],["789",3,"Соль",1.0004,5]])")
        << QByteArray(
               R"({"items":[)"
               R"({"productId":"123_1","quantity":{"count":2},"itemPrice":10.5,"total":21},)"
               R"({"productId":"456_2","quantity":{"count":1},"itemPrice":3.333,"total":3.33},)"
               R"({"productId":"789_3","quantity":{"count":1},"itemPrice":0,"total":5}]})");
    QTest::newRow("later duplicate wins")
        << QByteArray(R"({"items":[{"productId":"123_1","unit_price":"10"},)"
                      R"({"productId":"123_1","unit_price":"12.5"}]})")
        << onePosition << refundOf("12.5");
    QTest::newRow("numeric unit price counts as none")
        << QByteArray(R"({"items":[{"productId":"123_1","unit_price":10.5}]})") << onePosition
        << refundOf("0");
    QTest::newRow("text that is no number")
        << QByteArray(R"({"items":[{"productId":"123_1","unit_price":"10,5"}]})") << onePosition
        << refundOf("0");
    QTest::newRow("infinite price refused")
        << QByteArray(R"({"items":[{"productId":"123_1","unit_price":"inf"}]})") << onePosition
        << refundOf("0");
    QTest::newRow("paid cart without items") << QByteArray("{}") << onePosition << refundOf("0");
    QTest::newRow("return receipt without positions")
        << QByteArray(R"({"items":[{"productId":"123_1","unit_price":"10"}]})") << QByteArray("[]")
        << QByteArray("{}");
}

void CartsTest::refundCart()
{
    QFETCH(QByteArray, paidCart);
    QFETCH(QByteArray, positions);
    QFETCH(QByteArray, refundCart);
    openReceipt(positions);

    QCOMPARE(compact(m_client.formReturnCart(paidOrderWithCart(paidCart))), normalised(refundCart));
}

QTEST_GUILESS_MAIN(CartsTest)
#include "tst_apicarts.moc"
