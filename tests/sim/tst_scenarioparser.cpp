#include "sim/ScenarioParser.h"

#include <QJsonDocument>
#include <QTest>

using zorviksim::ScenarioParser;

class TestScenarioParser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data();
    void parse();
};

void TestScenarioParser::parse_data()
{
    QTest::addColumn<QString>("payload");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray paidAtFirst = R"({"outcome":"paid","atStatusRequest":1})";
    QTest::newRow("bare prefix") << "ZVQR" << paidAtFirst;
    QTest::newRow("body without words") << "ZVQR0123456789ABCDEF" << paidAtFirst;
    QTest::newRow("not a simulator code") << "SOMEQR-DECLINE" << paidAtFirst;
    QTest::newRow("word glued to the body is body") << "ZVQRDECLINE" << paidAtFirst;
    QTest::newRow("trailing dash") << "ZVQR-" << paidAtFirst;
    QTest::newRow("pay at third") << "ZVQR-PAY3"
                                  << QByteArray(R"({"outcome":"paid","atStatusRequest":3})");
    QTest::newRow("lower case with body")
        << "ZVQR42-pay2" << QByteArray(R"({"outcome":"paid","atStatusRequest":2})");
    QTest::newRow("decline") << "ZVQR-DECLINE"
                             << QByteArray(R"({"outcome":"declined","atStatusRequest":1})");
    QTest::newRow("never") << "ZVQR-NEVER" << QByteArray(R"({"outcome":"undecided"})");
    QTest::newRow("manual") << "ZVQR-manual" << QByteArray(R"({"outcome":"manual"})");
    QTest::newRow("last outcome wins")
        << "ZVQR-NEVER-DECLINE4" << QByteArray(R"({"outcome":"declined","atStatusRequest":4})");
    QTest::newRow("session words")
        << "ZVQR-SESSIONERR-LOYALTY-NOCARD"
        << QByteArray(R"({"outcome":"paid","atStatusRequest":1,"refuseSession":true,)"
                      R"("manyLoyaltyIds":true,"withoutCards":true})");
    QTest::newRow("order and return words")
        << "ZVQR-ORDERERR-SLOWORDER-RETURNERR"
        << QByteArray(R"({"outcome":"paid","atStatusRequest":1,"refuseOrder":true,)"
                      R"("slowOrder":true,"refuseReturns":true})");
    QTest::newRow("status faults")
        << "ZVQR-PAY5-STATUSERR2-DROPSTATUS-NOTJSON3-HTML5004"
        << QByteArray(R"({"outcome":"paid","atStatusRequest":5,"statusFaults":)"
                      R"({"1":"droppedConnection","2":"errorEnvelope","3":"notJson",)"
                      R"("4":"html500"}})");
    QTest::newRow("html500 without number is the first request")
        << "ZVQR-HTML500"
        << QByteArray(R"({"outcome":"paid","atStatusRequest":1,"statusFaults":{"1":"html500"}})");
    QTest::newRow("last fault for a request wins")
        << "ZVQR-STATUSERR2-NOTJSON2"
        << QByteArray(R"({"outcome":"paid","atStatusRequest":1,"statusFaults":{"2":"notJson"}})");
    QTest::newRow("slow status combines with a fault")
        << "ZVQR-PAY2-SLOWSTATUS1-SLOWSTATUS3-DROPSTATUS1"
        << QByteArray(R"({"outcome":"paid","atStatusRequest":2,"slowStatusRequests":[1,3],)"
                      R"("statusFaults":{"1":"droppedConnection"}})");
    QTest::newRow("fault words of each stage")
        << "ZVQR-ORDERDROP-ORDERSLOW2-STATUSGATEWAY3-statusslow-STATUSNOTJSON4-STATUSHTML5-"
           "RETURNTRUNCATED-RETURNHUGE2-RETURNARRAY3"
        << QByteArray(R"({"outcome":"paid","atStatusRequest":1,)"
                      R"("orderFaults":{"1":"droppedConnection"},"slowOrderRequests":[2],)"
                      R"("statusFaults":{"3":"emptyBadGateway","4":"notJson","5":"html500"},)"
                      R"("slowStatusRequests":[1],)"
                      R"("returnFaults":{"1":"truncatedJson","2":"oversized","3":"jsonArray"}})");
    QTest::newRow("status fault words of both spellings")
        << "ZVQR-DROPSTATUS2-STATUSDROP3-STATUSERR4"
        << QByteArray(R"({"outcome":"paid","atStatusRequest":1,"statusFaults":)"
                      R"({"2":"droppedConnection","3":"droppedConnection","4":"errorEnvelope"}})");
    QTest::newRow("fault words without a stage or a good number are kept")
        << "ZVQR-DROP-RETURNDROPX-ORDERHUGE0-STATUSBOGUS"
        << QByteArray(R"({"outcome":"paid","atStatusRequest":1,)"
                      R"("ignoredWords":["DROP","RETURNDROPX","ORDERHUGE0","STATUSBOGUS"]})");
    QTest::newRow("unknown words are kept")
        << "ZVQR-PAYY-PAY0-NEVER2-PAY3x-BOGUS"
        << QByteArray(R"({"outcome":"paid","atStatusRequest":1,)"
                      R"("ignoredWords":["PAYY","PAY0","NEVER2","PAY3x","BOGUS"]})");
    QTest::newRow("number too large")
        << "ZVQR-PAY99999999999"
        << QByteArray(
               R"({"outcome":"paid","atStatusRequest":1,"ignoredWords":["PAY99999999999"]})");
}

void TestScenarioParser::parse()
{
    QFETCH(QString, payload);
    QFETCH(QByteArray, expected);

    const QJsonObject expectedJson = QJsonDocument::fromJson(expected).object();
    QVERIFY2(!expectedJson.isEmpty(), expected.constData());
    const QJsonObject actual = ScenarioParser::parse(payload).toJson();
    QVERIFY2(actual == expectedJson, QJsonDocument(actual).toJson(QJsonDocument::Compact));
}

QTEST_GUILESS_MAIN(TestScenarioParser)
#include "tst_scenarioparser.moc"
