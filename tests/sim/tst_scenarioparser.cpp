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

// The scenario's members beyond the plain one, paid at the first status request.
void TestScenarioParser::parse_data()
{
    QTest::addColumn<QString>("payload");
    QTest::addColumn<QByteArray>("members");

    // The words themselves are used by every other suite; these are the grammar's rules.
    QTest::newRow("not a simulator code") << "SOMEQR-DECLINE" << QByteArray();
    QTest::newRow("word glued to the body is body") << "ZVQRDECLINE" << QByteArray();
    QTest::newRow("lower case with body") << "ZVQR42-pay2" << QByteArray(R"("atStatusRequest":2)");
    QTest::newRow("last outcome wins")
        << "ZVQR-NEVER-DECLINE4" << QByteArray(R"("outcome":"declined","atStatusRequest":4)");
    QTest::newRow("status faults of both spellings, the last for a request wins")
        << "ZVQR-PAY5-STATUSERR2-DROPSTATUS-NOTJSON3-HTML5004-STATUSDROP2-SLOWSTATUS3"
        << QByteArray(R"("atStatusRequest":5,"statusFaults":{"1":"droppedConnection",)"
                      R"("2":"droppedConnection","3":"notJson","4":"html500"},)"
                      R"("slowStatusRequests":[3])");
    QTest::newRow("unknown words and numbers are kept")
        << "ZVQR-DROP-RETURNDROPX-ORDERHUGE0-PAYY-PAY0-NEVER2-PAY3x-PAY99999999999"
        << QByteArray(R"("ignoredWords":["DROP","RETURNDROPX","ORDERHUGE0","PAYY","PAY0",)"
                      R"("NEVER2","PAY3x","PAY99999999999"])");
}

void TestScenarioParser::parse()
{
    QFETCH(QString, payload);
    QFETCH(QByteArray, members);

    QJsonObject expected{{"outcome", "paid"}, {"atStatusRequest", 1}};
    const QJsonObject changes = QJsonDocument::fromJson('{' + members + '}').object();
    QVERIFY2(members.isEmpty() || !changes.isEmpty(), members.constData());
    for (auto it = changes.begin(); it != changes.end(); ++it)
        expected.insert(it.key(), it.value());
    // An order that waits for no status request has no number of it.
    if (expected.value(QLatin1String("outcome")) != QLatin1String("paid")
        && expected.value(QLatin1String("outcome")) != QLatin1String("declined"))
        expected.remove(QLatin1String("atStatusRequest"));
    const QJsonObject actual = ScenarioParser::parse(payload).toJson();
    QVERIFY2(actual == expected, QJsonDocument(actual).toJson(QJsonDocument::Compact));
}

QTEST_GUILESS_MAIN(TestScenarioParser)
#include "tst_scenarioparser.moc"
