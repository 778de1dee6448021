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

using namespace zorvikcpqr;

namespace {

RequestResult answer(const QByteArray &json, bool transportError = false)
{
    RequestResult result;
    result.json = QJsonDocument::fromJson(json).object();
    result.transportError = transportError;
    return result;
}

// Every reader of the answer that gives something other than its default, as "name=value".
QString membersRead(const RequestResult &record)
{
    const OperationResult operation(record);
    const StartSessionResult session(record);
    const int code = record.errorCode();
    const int status = operation.getStatus();
    const auto paymentStatus = int(CreateOrderResult(record).paymentStatus());
    const QList<QPair<const char *, QString>> members{
        {"code", code == 0 ? QString() : QString::number(code)},
        {"status", status == -1 ? QString() : QString::number(status)},
        {"result", operation.result() ? QStringLiteral("true") : QString()},
        {"cart",
         operation.getCart().isEmpty()
             ? QString()
             : QString::fromUtf8(
                 QJsonDocument(operation.getCart()).toJson(QJsonDocument::Compact))},
        {"quickpay", session.quickpayId()},
        {"payload", session.merchantPayload()},
        {"refund", ReturnResult(record).refundId()},
        {"decline", RefundStatusResult(record).declineReason()},
        {"payment", paymentStatus == 0 ? QString() : QString::number(paymentStatus)},
        {"loyalty", session.loyaltyIds().join(QLatin1Char(','))}};
    QStringList read;
    for (const auto &[name, value] : members) {
        if (!value.isEmpty())
            read.append(QLatin1String(name) + QLatin1Char('=') + value);
    }
    return read.join(QLatin1Char(' '));
}

} // namespace

class RecordsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readersTakeOnlyTheirType_data();
    void readersTakeOnlyTheirType();
    void successRuleOfEachRecord_data();
    void successRuleOfEachRecord();
    void operatorErrorText_data();
    void operatorErrorText();
    void rounding_data();
    void rounding();
};

void RecordsTest::readersTakeOnlyTheirType_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("read");

    QTest::newRow("every member of its type")
        << QByteArray(R"({"codeError":-3,"status":1,"result":true,"cart":{"items":[]},)"
                      R"("quickpay_id":"q","merchant_payload":"m","refundId":"r",)"
                      R"("declineReason":"d","payment_status":"started",)"
                      R"("loyalty":{"loyalty_ids":["a",1,"","b","a",{"c":1},null]}})")
        << R"(code=-3 status=1 result=true cart={"items":[]} quickpay=q payload=m refund=r )"
           R"(decline=d payment=1 loyalty=a,b,a)";
    QTest::newRow("no member converted between types")
        << QByteArray(R"({"codeError":"12","status":"1","result":1,"cart":[1],"quickpay_id":5,)"
                      R"("merchant_payload":5,"refundId":3,"declineReason":4,"payment_status":1,)"
                      R"("loyalty":{"loyalty_ids":{"a":"b"}}})")
        << "";
    QTest::newRow("integers only whole and within int, order failed")
        << QByteArray(R"({"codeError":2147483648,"status":1.5,"payment_status":"failed"})")
        << "payment=3";
    QTest::newRow("loyalty itself the array, order pending")
        << QByteArray(R"({"loyalty":["x"],"status":0,"payment_status":"waiting_for_approve"})")
        << "status=0 payment=2 loyalty=x";
    QTest::newRow("ids outside loyalty, status text case-sensitive")
        << QByteArray(R"({"loyalty_ids":["a"],"payment_status":"Started"})") << "";
}

void RecordsTest::readersTakeOnlyTheirType()
{
    QFETCH(QByteArray, json);

    const OperationResult operation(answer(json));
    QTEST(membersRead(operation), "read");
    QCOMPARE(operation.checkStatus(OrderStatus::Started), operation.getStatus() == 1);
    QCOMPARE(operation.checkStatus(OrderStatus::Undefined), operation.getStatus() == 0);
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

    const auto row =
        [](const char *tag, const char *json, bool transport, bool plain, bool session, bool paid) {
            QTest::newRow(tag) << QByteArray(json) << transport << plain << session << paid;
        };
    row("error code", R"({"codeError":5})", false, false, false, false);
    row("message without code", R"({"error":"busy"})", false, true, false, false);
    row("transport failure", "{}", true, false, false, false);
    row("declined without error", R"({"result":false})", false, true, false, false);
    row("paid with error code", R"({"result":true,"codeError":3})", false, false, false, true);
    row("named session", R"({"quickpay_id":"q1"})", false, true, true, false);
    row("empty session id", R"({"quickpay_id":""})", false, true, false, false);
    row("named despite error code and transport failure",
        R"({"quickpay_id":"q1","codeError":5})",
        true,
        false,
        true,
        false);
}

void RecordsTest::successRuleOfEachRecord()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, transportError);
    const RequestResult result = answer(json, transportError);

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
    // An exchange text stands for a failure that the exchange itself reported.
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("exchangeText");
    QTest::addColumn<QString>("trId");
    QTest::addColumn<QString>("text");

    const QString unknown = QStringLiteral("Неизвестная ошибка");
    QTest::newRow("exchange text wins")
        << QByteArray(R"({"codeError":12,"error":"limit"})") << true << "transport"
        << "Сеть недоступна";
    QTest::newRow("code with message")
        << QByteArray(R"({"codeError":12,"error":"limit"})") << false << "zorvikCpqrError12"
        << "limit";
    QTest::newRow("negative code without message")
        << QByteArray(R"({"codeError":-3})") << false << "zorvikCpqrError-3" << unknown;
    QTest::newRow("code with empty message")
        << QByteArray(R"({"codeError":5,"error":""})") << false << "zorvikCpqrError5"
        << "";
    QTest::newRow("message not text")
        << QByteArray(R"({"codeError":4,"error":17})") << false << "zorvikCpqrError4" << unknown;
    QTest::newRow("message without code")
        << QByteArray(R"({"codeError":0,"error":"busy"})") << false << "zorvikCpqrUnknownError"
        << "busy";
    QTest::newRow("neither") << QByteArray("{}") << false << "zorvikCpqrUnknownError" << unknown;
}

void RecordsTest::operatorErrorText()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, trId);
    QFETCH(QString, text);

    RequestResult result = answer(json);
    QFETCH(bool, exchangeText);
    if (exchangeText)
        result.errorText = tr::Tr(trId, text);
    QCOMPARE(result.getError(), tr::Tr(trId, text));
}

void RecordsTest::rounding_data()
{
    QTest::addColumn<bool>("quantity");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("rounded");

    QTest::newRow("money 1.005 goes up") << false << 1.005 << 1.01;
    QTest::newRow("money -1.005 goes down") << false << -1.005 << -1.01;
    QTest::newRow("money 1.0049") << false << 1.0049 << 1.0;
    // A fused multiply-add skips the rounding of the product and gives 0.13.
    QTest::newRow("money 0.12499, product rounded before the add") << false << 0.12499 << 0.12;
    QTest::newRow("money two thirds of 200") << false << 200.0 / 3.0 << 66.67;
    QTest::newRow("money beyond 32 bits of kopecks")
        << false << 123456789012.345 << 123456789012.35;
    QTest::newRow("money beyond 64 bits when scaled") << false << 1e17 << 1e17;
    QTest::newRow("quantity 2.0005 goes up") << true << 2.0005 << 2.001;
    QTest::newRow("quantity 1.0005 stays") << true << 1.0005 << 1.0;
    QTest::newRow("quantity -0.0005") << true << -0.0005 << -0.001;
    QTest::newRow("quantity beyond 64 bits when scaled") << true << -1e17 << -1e17;
}

void RecordsTest::rounding()
{
    QFETCH(bool, quantity);
    QFETCH(double, value);

    QTEST(quantity ? roundQuantity(value) : roundMoney(value), "rounded");
}

QTEST_GUILESS_MAIN(RecordsTest)
#include "tst_apirecords.moc"
