#include "api/CancelResult.h"
#include "api/CreateOrderResult.h"
#include "api/DeactivateResult.h"
#include "api/OperationResult.h"
#include "api/RefundStatusResult.h"
#include "api/RequestResult.h"
#include "api/ReturnResult.h"
#include "api/Rounding.h"
#include "api/StartSessionResult.h"

#include <QJsonDocument>
#include <QTest>

#include <cmath>
#include <limits>

using namespace zorvikcpqr;

namespace {

QJsonObject answer(const char *json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

RequestResult resultOf(const char *json, bool transportError = false)
{
    RequestResult result;
    result.json = answer(json);
    result.transportError = transportError;
    return result;
}

} // namespace

class RecordsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void errorCodeAcceptsOnlyWholeNumbersInIntRange_data();
    void errorCodeAcceptsOnlyWholeNumbersInIntRange();
    void successRuleOfEachRecord_data();
    void successRuleOfEachRecord();
    void operatorErrorText_data();
    void operatorErrorText();
    void loyaltyIdsWalkDownToTheFirstNonObject_data();
    void loyaltyIdsWalkDownToTheFirstNonObject();
    void operationResultReadsStateAndCart_data();
    void operationResultReadsStateAndCart();
    void paymentStatusComparesTextExactly_data();
    void paymentStatusComparesTextExactly();
    void textReadersRefuseOtherTypes();
    void convertingConstructorsKeepTheExchange();
    void rounding_data();
    void rounding();
    void roundingLeavesUnroundableValuesAlone_data();
    void roundingLeavesUnroundableValuesAlone();
};

void RecordsTest::errorCodeAcceptsOnlyWholeNumbersInIntRange_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("code");

    QTest::newRow("absent") << QByteArray("{}") << 0;
    QTest::newRow("whole double") << QByteArray(R"({"codeError":7.0})") << 7;
    QTest::newRow("text holding a number") << QByteArray(R"({"codeError":"12"})") << 0;
    QTest::newRow("fraction") << QByteArray(R"({"codeError":5.5})") << 0;
    QTest::newRow("int maximum") << QByteArray(R"({"codeError":2147483647})") << 2147483647;
    QTest::newRow("int minimum") << QByteArray(R"({"codeError":-2147483648})")
                                 << std::numeric_limits<int>::min();
    QTest::newRow("beyond int") << QByteArray(R"({"codeError":2147483648})") << 0;
    QTest::newRow("huge") << QByteArray(R"({"codeError":3e20})") << 0;
    QTest::newRow("boolean") << QByteArray(R"({"codeError":true})") << 0;
}

void RecordsTest::errorCodeAcceptsOnlyWholeNumbersInIntRange()
{
    QFETCH(QByteArray, json);
    QFETCH(int, code);

    QCOMPARE(resultOf(json.constData()).errorCode(), code);
}

void RecordsTest::successRuleOfEachRecord_data()
{
    // "plain" is the rule of RequestResult, CreateOrderResult, DeactivateResult and ReturnResult;
    // "paid" that of OperationResult and CancelResult.
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("transportError");
    QTest::addColumn<bool>("plain");
    QTest::addColumn<bool>("session");
    QTest::addColumn<bool>("paid");

    QTest::newRow("error code") << QByteArray(R"({"codeError":5})") << false << false << false
                                << false;
    QTest::newRow("message without code")
        << QByteArray(R"({"codeError":0,"error":"busy"})") << false << true << false << false;
    QTest::newRow("code as text") << QByteArray(R"({"codeError":"12"})") << false << true << false
                                  << false;
    QTest::newRow("transport failure") << QByteArray("{}") << true << false << false << false;
    QTest::newRow("declined without error")
        << QByteArray(R"({"result":false})") << false << true << false << false;
    QTest::newRow("paid with error code")
        << QByteArray(R"({"result":true,"codeError":3})") << false << false << false << true;
    QTest::newRow("named session")
        << QByteArray(R"({"quickpay_id":"q1"})") << false << true << true << false;
    QTest::newRow("empty session id")
        << QByteArray(R"({"quickpay_id":""})") << false << true << false << false;
    QTest::newRow("named despite error code")
        << QByteArray(R"({"quickpay_id":"q1","codeError":5})") << false << false << true << false;
    QTest::newRow("named despite transport failure")
        << QByteArray(R"({"quickpay_id":"q1"})") << true << false << true << false;
}

void RecordsTest::successRuleOfEachRecord()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, transportError);
    const RequestResult result = resultOf(json.constData(), transportError);

    // Through the base, as the callers hold them.
    const auto success = [](const RequestResult &record) {
        return record.success();
    };
    QTEST(success(result), "plain");
    QTEST(success(CreateOrderResult(result)), "plain");
    QTEST(success(DeactivateResult(result)), "plain");
    QTEST(success(ReturnResult(result)), "plain");
    QTEST(success(StartSessionResult(result)), "session");
    QTEST(success(OperationResult(result)), "paid");
    QTEST(success(CancelResult(result)), "paid");
    QVERIFY(success(RefundStatusResult(result)));
}

void RecordsTest::operatorErrorText_data()
{
    // A non-empty exchangeTextId stands for a failure the exchange itself reported with "text".
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("exchangeTextId");
    QTest::addColumn<QString>("trId");
    QTest::addColumn<QString>("text");

    const QString unknown = QStringLiteral("Неизвестная ошибка");
    const QString incorrect = QStringLiteral("requestIncorrectAnswer");
    QTest::newRow("exchange text wins")
        << QByteArray(R"({"codeError":12,"error":"limit"})") << "transport"
        << "transport"
        << "Сеть недоступна";
    QTest::newRow("incorrect answer")
        << QByteArray("{}") << incorrect << incorrect << "Некорректный ответ от сервера";
    QTest::newRow("code with message")
        << QByteArray(R"({"codeError":12,"error":"limit"})") << QString() << "zorvikCpqrError12"
        << "limit";
    QTest::newRow("code without message")
        << QByteArray(R"({"codeError":12})") << QString() << "zorvikCpqrError12" << unknown;
    QTest::newRow("negative code")
        << QByteArray(R"({"codeError":-3})") << QString() << "zorvikCpqrError-3" << unknown;
    QTest::newRow("code with empty message")
        << QByteArray(R"({"codeError":5,"error":""})") << QString() << "zorvikCpqrError5"
        << "";
    QTest::newRow("message without code")
        << QByteArray(R"({"codeError":0,"error":"busy"})") << QString() << "zorvikCpqrUnknownError"
        << "busy";
    QTest::newRow("message not text") << QByteArray(R"({"codeError":4,"error":17})") << QString()
                                      << "zorvikCpqrError4" << unknown;
    QTest::newRow("neither") << QByteArray("{}") << QString() << "zorvikCpqrUnknownError"
                             << unknown;
}

void RecordsTest::operatorErrorText()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, exchangeTextId);
    QFETCH(QString, trId);
    QFETCH(QString, text);

    RequestResult result = resultOf(json.constData());
    if (!exchangeTextId.isEmpty())
        result.errorText = tr::Tr(exchangeTextId, text);

    QCOMPARE(result.getError(), tr::Tr(trId, text));
}

void RecordsTest::loyaltyIdsWalkDownToTheFirstNonObject_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("ids");

    QTest::newRow("texts only, duplicates kept")
        << QByteArray(R"({"loyalty":{"loyalty_ids":["a",1,"","b","a",{"c":1},null]}})")
        << QStringList{"a", "b", "a"};
    QTest::newRow("loyalty is the array") << QByteArray(R"({"loyalty":["x"]})") << QStringList{"x"};
    QTest::newRow("ids an object")
        << QByteArray(R"({"loyalty":{"loyalty_ids":{"a":"b"}}})") << QStringList();
    QTest::newRow("no loyalty") << QByteArray(R"({"loyalty_ids":["a"]})") << QStringList();
    QTest::newRow("loyalty text") << QByteArray(R"({"loyalty":"a"})") << QStringList();
    QTest::newRow("empty loyalty") << QByteArray(R"({"loyalty":{}})") << QStringList();
}

void RecordsTest::loyaltyIdsWalkDownToTheFirstNonObject()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, ids);

    QCOMPARE(StartSessionResult(resultOf(json.constData())).loyaltyIds(), ids);
}

void RecordsTest::operationResultReadsStateAndCart_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("paid");
    QTest::addColumn<QJsonObject>("cart");

    QTest::newRow("no state") << QByteArray("{}") << -1 << false << QJsonObject();
    QTest::newRow("paid") << QByteArray(R"({"status":1,"result":true,"cart":{"items":[]}})") << 1
                          << true << answer(R"({"items":[]})");
    QTest::newRow("pending") << QByteArray(R"({"status":0})") << 0 << false << QJsonObject();
    QTest::newRow("wrong types") << QByteArray(R"({"status":"1","result":"true","cart":[1]})") << -1
                                 << false << QJsonObject();
    QTest::newRow("fractional status")
        << QByteArray(R"({"status":1.5,"result":1})") << -1 << false << QJsonObject();
}

void RecordsTest::operationResultReadsStateAndCart()
{
    QFETCH(QByteArray, json);
    QFETCH(int, status);

    const OperationResult result(resultOf(json.constData()));
    QCOMPARE(result.getStatus(), status);
    QTEST(result.result(), "paid");
    QTEST(result.getCart(), "cart");
    QCOMPARE(result.checkStatus(OrderStatus::Started), status == 1);
    QCOMPARE(result.checkStatus(OrderStatus::Undefined), status == 0);
}

void RecordsTest::paymentStatusComparesTextExactly_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<OrderStatus>("status");

    QTest::newRow("started") << QByteArray(R"({"payment_status":"started"})")
                             << OrderStatus::Started;
    QTest::newRow("waiting") << QByteArray(R"({"payment_status":"waiting_for_approve"})")
                             << OrderStatus::WaitingForApprove;
    QTest::newRow("failed") << QByteArray(R"({"payment_status":"failed"})") << OrderStatus::Failed;
    QTest::newRow("capitals") << QByteArray(R"({"payment_status":"WAITING_FOR_APPROVE"})")
                              << OrderStatus::Undefined;
    QTest::newRow("capital S") << QByteArray(R"({"payment_status":"Started"})")
                               << OrderStatus::Undefined;
    QTest::newRow("other") << QByteArray(R"({"payment_status":"paid"})") << OrderStatus::Undefined;
    QTest::newRow("number") << QByteArray(R"({"payment_status":1})") << OrderStatus::Undefined;
    QTest::newRow("absent") << QByteArray("{}") << OrderStatus::Undefined;
}

void RecordsTest::paymentStatusComparesTextExactly()
{
    QFETCH(QByteArray, json);

    QTEST(CreateOrderResult(resultOf(json.constData())).paymentStatus(), "status");
}

void RecordsTest::textReadersRefuseOtherTypes()
{
    const RequestResult texts = resultOf(R"({"error":"","merchant_payload":"m","refundId":"r"})");
    QCOMPARE(texts.error(QStringLiteral("default")), QString(""));
    QCOMPARE(CancelResult(texts).refundId(), QStringLiteral("r"));

    const RequestResult numbers = resultOf(
        R"({"error":1,"merchant_payload":2,"refundId":3,"declineReason":4,"quickpay_id":5})");
    QCOMPARE(numbers.error(QStringLiteral("default")), QStringLiteral("default"));
    QCOMPARE(StartSessionResult(numbers).merchantPayload(), QString());
    QCOMPARE(StartSessionResult(numbers).quickpayId(), QString());
    QCOMPARE(ReturnResult(numbers).refundId(), QString());
    QCOMPARE(RefundStatusResult(numbers).declineReason(), QString());
}

void RecordsTest::convertingConstructorsKeepTheExchange()
{
    RequestResult exchange = resultOf(R"({"quickpay_id":"q"})", true);
    exchange.timedOut = true;
    exchange.errorText = tr::Tr(QStringLiteral("id"), QStringLiteral("text"));

    const StartSessionResult session(exchange);
    const CreateOrderResult order(exchange);
    const ReturnResult ret(exchange);
    for (const RequestResult *record : {static_cast<const RequestResult *>(&session),
                                        static_cast<const RequestResult *>(&order),
                                        static_cast<const RequestResult *>(&ret)}) {
        QVERIFY(record->transportError && record->timedOut);
        QCOMPARE(record->errorText, exchange.errorText);
        QCOMPARE(record->json, exchange.json);
    }
    QVERIFY(session.cpqrPayload.isEmpty());
    QVERIFY(order.clientTransaction.isEmpty());
    QVERIFY(ret.refundTransaction.isEmpty());
}

void RecordsTest::rounding_data()
{
    QTest::addColumn<bool>("quantity");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("rounded");

    QTest::newRow("money 1.005 goes up") << false << 1.005 << 1.01;
    QTest::newRow("money -1.005 goes down") << false << -1.005 << -1.01;
    QTest::newRow("money 2.675") << false << 2.675 << 2.68;
    QTest::newRow("money 1.0049") << false << 1.0049 << 1.0;
    // A fused multiply-add skips the rounding of the product and gives 0.13.
    QTest::newRow("money 0.12499, product rounded before the add") << false << 0.12499 << 0.12;
    QTest::newRow("money two thirds of 200") << false << 200.0 / 3.0 << 66.67;
    QTest::newRow("money -0.004") << false << -0.004 << 0.0;
    QTest::newRow("money large amount") << false << 12345678.905 << 12345678.91;
    QTest::newRow("quantity 2.0005 goes up") << true << 2.0005 << 2.001;
    QTest::newRow("quantity 1.0005 stays") << true << 1.0005 << 1.0;
    QTest::newRow("quantity -0.0005") << true << -0.0005 << -0.001;
    QTest::newRow("quantity 0.3334") << true << 0.3334 << 0.333;
}

void RecordsTest::rounding()
{
    QFETCH(bool, quantity);
    QFETCH(double, value);

    QTEST(quantity ? roundQuantity(value) : roundMoney(value), "rounded");
}

void RecordsTest::roundingLeavesUnroundableValuesAlone_data()
{
    QTest::addColumn<double>("value");

    QTest::newRow("infinity") << std::numeric_limits<double>::infinity();
    QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity();
    QTest::newRow("beyond 64 bits when scaled") << 1e17;
    QTest::newRow("largest double") << std::numeric_limits<double>::max();
}

void RecordsTest::roundingLeavesUnroundableValuesAlone()
{
    QFETCH(double, value);

    QCOMPARE(roundMoney(value), value);
    QCOMPARE(roundQuantity(value), value);
    QVERIFY(std::isnan(roundMoney(std::nan(""))));
    QVERIFY(std::isnan(roundQuantity(std::nan(""))));
}

QTEST_GUILESS_MAIN(RecordsTest)
#include "tst_apirecords.moc"
