// The host queue outlives the till: built zorvik-till processes sharing one SQLite queue file,
// killed without warning, running the queue side by side, and failing a message again and
// again, against the simulated service.

#include "sim/Simulator.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

const QString Amount = QStringLiteral("15050");

zorviksim::SimulatorOptions serviceOptions()
{
    zorviksim::SimulatorOptions options;
    // Returns of "RETURNSLOW" orders take a while, so that two tills overlap in the queue.
    options.slowAnswerDelay = std::chrono::milliseconds(300);
    return options;
}

} // namespace

class QueueSurvivalTest : public QObject
{
    Q_OBJECT

public:
    QueueSurvivalTest()
        : m_service(serviceOptions())
    {}

private Q_SLOTS:
    void initTestCase();
    void killedRightAfterQueueing();
    void twoTillsRunOneQueue();
    void failingMessageStaysWithItsAttempts();

private:
    void startTill(QProcess &till, const QString &queue, const QStringList &command) const;
    // The JSON result of each command the till ran to its end.
    QList<QJsonObject> runTill(const QString &queue,
                               const QStringList &command,
                               const QByteArray &input = QByteArray()) const;
    QStringList payOrders(const QString &queue, const QString &code, int count) const;
    static QByteArray deferCancellations(const QStringList &operationIds);
    QJsonArray queueList(const QString &queue) const;
    QJsonObject order(const QString &clientTransaction);

    QTemporaryDir m_dir;
    zorviksim::Simulator m_service;
};

void QueueSurvivalTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(m_service.start());
    QFile config(m_dir.filePath(QStringLiteral("zorvikcpqr.ini")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("[zorvikcpqr]\nurl=%1\nstatusRequestInterval=1\n"
                                "statusRequestDelay=0\n")
                     .arg(m_service.baseUrl())
                     .toUtf8());
    QFile receipt(m_dir.filePath(QStringLiteral("receipt.json")));
    QVERIFY(receipt.open(QIODevice::WriteOnly));
    receipt.write(R"({"shopCode": 12, "cashCode": 3, "posId": "0003", "cashierId": 42,
                     "positions": [{"barcode": "4601234567890", "posnum": 1, "name": "Сыр",
                                    "quantity": 1, "sum": 150.5}]})");
}

void QueueSurvivalTest::startTill(QProcess &till,
                                  const QString &queue,
                                  const QStringList &command) const
{
    const QStringList files{QStringLiteral("--config"),
                            m_dir.filePath(QStringLiteral("zorvikcpqr.ini")),
                            QStringLiteral("--receipt"),
                            m_dir.filePath(QStringLiteral("receipt.json")),
                            QStringLiteral("--queue"),
                            m_dir.filePath(queue),
                            QStringLiteral("--log"),
                            m_dir.filePath(QStringLiteral("till.log"))};
    till.start(QStringLiteral(ZORVIK_BUILD_DIR "/zorvik-till"),
               QStringList{QStringLiteral("--json")} + files + command);
}

QList<QJsonObject> QueueSurvivalTest::runTill(const QString &queue,
                                              const QStringList &command,
                                              const QByteArray &input) const
{
    QProcess till;
    startTill(till, queue, command);
    till.write(input);
    till.closeWriteChannel();
    QList<QJsonObject> results;
    if (!till.waitForFinished(60000) || till.exitCode() != 0)
        return results;
    for (const QByteArray &line : till.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty())
            results.append(QJsonDocument::fromJson(line).object());
    }
    return results;
}

QStringList QueueSurvivalTest::payOrders(const QString &queue, const QString &code, int count) const
{
    QByteArray input;
    for (int i = 0; i < count; ++i)
        input += QStringLiteral("pay %1 %2\n").arg(Amount, code).toUtf8();
    QStringList operationIds;
    for (const QJsonObject &result : runTill(queue, {}, input)) {
        if (result.value(QStringLiteral("status")).toInt(-1) == 0)
            operationIds.append(result.value(QStringLiteral("operationId")).toString());
    }
    return operationIds;
}

QByteArray QueueSurvivalTest::deferCancellations(const QStringList &operationIds)
{
    QByteArray input;
    for (const QString &operationId : operationIds)
        input += QStringLiteral("defer %1 %2\n").arg(operationId, Amount).toUtf8();
    return input;
}

QJsonArray QueueSurvivalTest::queueList(const QString &queue) const
{
    return runTill(queue, {QStringLiteral("queue"), QStringLiteral("list")})
        .value(0)
        .value(QStringLiteral("messages"))
        .toArray();
}

QJsonObject QueueSurvivalTest::order(const QString &clientTransaction)
{
    for (const QJsonValue &order : m_service.state().value(QStringLiteral("orders")).toArray()) {
        if (order[QStringLiteral("client_transaction")] == clientTransaction)
            return order.toObject();
    }
    return {};
}

// The till dies in the middle of a payment, right after it queued the cancellation of an
// earlier one: the next till finds that message, and only that one, and carries it out.
void QueueSurvivalTest::killedRightAfterQueueing()
{
    const QString queue = QStringLiteral("killed.sqlite");
    const QString paidOrder = payOrders(queue, QStringLiteral("ZVQR-PAY1"), 1).value(0);
    QVERIFY(!paidOrder.isEmpty());

    QProcess till;
    startTill(till, queue, {});
    till.write(deferCancellations({paidOrder}) + "pay 1000 ZVQR-NEVER\n");
    // The till answers "defer" once the message is stored.
    QTRY_VERIFY_WITH_TIMEOUT(till.canReadLine(), 20000);
    QCOMPARE(QJsonDocument::fromJson(till.readLine()).object(),
             (QJsonObject{{"command", "defer"}}));
    QTRY_COMPARE_WITH_TIMEOUT(
        m_service.state().value(QStringLiteral("orders")).toArray().size(), 2, 20000);
    ::kill(till.processId(), SIGKILL);
    QVERIFY(till.waitForFinished(20000));
    QCOMPARE(till.exitStatus(), QProcess::CrashExit);

    const QJsonArray waiting = queueList(queue);
    QCOMPARE(waiting.size(), 1);
    QCOMPARE(waiting
                 .at(0)[QStringLiteral("message")][QStringLiteral("request")]
                       [QStringLiteral("operationId")]
                 .toString(),
             paidOrder);
    QCOMPARE(waiting.at(0)[QStringLiteral("attempts")].toInt(), 0);

    QCOMPARE(runTill(queue, {QStringLiteral("queue"), QStringLiteral("run")}).value(0),
             (QJsonObject{{"command", "queue run"}, {"delivered", 1}, {"failed", 0}}));
    QCOMPARE(queueList(queue).size(), 0);
    QCOMPARE(order(paidOrder).value(QStringLiteral("returned")).toDouble(), 150.5);
    QCOMPARE(order(paidOrder).value(QStringLiteral("refunds")).toArray().size(), 1);
}

void QueueSurvivalTest::twoTillsRunOneQueue()
{
    const QString queue = QStringLiteral("shared.sqlite");
    const QStringList orders = payOrders(queue, QStringLiteral("ZVQR-PAY1-RETURNSLOW"), 6);
    QCOMPARE(orders.size(), 6);
    QCOMPARE(runTill(queue, {}, deferCancellations(orders)).size(), orders.size());

    QProcess first;
    QProcess second;
    startTill(first, queue, {QStringLiteral("queue"), QStringLiteral("run")});
    startTill(second, queue, {QStringLiteral("queue"), QStringLiteral("run")});
    QVERIFY(first.waitForFinished(60000));
    QVERIFY(second.waitForFinished(60000));
    int delivered = 0;
    for (QProcess *till : {&first, &second}) {
        QCOMPARE(till->exitCode(), 0);
        const QJsonObject report = QJsonDocument::fromJson(till->readAllStandardOutput()).object();
        QCOMPARE(report.value(QStringLiteral("failed")).toInt(), 0);
        delivered += report.value(QStringLiteral("delivered")).toInt();
    }

    QCOMPARE(delivered, orders.size());
    QCOMPARE(queueList(queue).size(), 0);
    for (const QString &operationId : orders) {
        const QJsonObject returned = order(operationId);
        QCOMPARE(returned.value(QStringLiteral("returnRequests")).toInt(), 1);
        QCOMPARE(returned.value(QStringLiteral("returned")).toDouble(), 150.5);
    }
}

void QueueSurvivalTest::failingMessageStaysWithItsAttempts()
{
    const QString queue = QStringLiteral("failing.sqlite");
    const QString paidOrder = payOrders(queue, QStringLiteral("ZVQR-PAY1-RETURNERR"), 1).value(0);
    QVERIFY(!paidOrder.isEmpty());
    runTill(queue, {QStringLiteral("defer"), paidOrder, Amount});

    for (int attempt = 1; attempt <= 2; ++attempt) {
        QCOMPARE(runTill(queue, {QStringLiteral("queue"), QStringLiteral("run")}).value(0),
                 (QJsonObject{{"command", "queue run"}, {"delivered", 0}, {"failed", 1}}));
        const QJsonArray waiting = queueList(queue);
        QCOMPARE(waiting.size(), 1);
        QCOMPARE(waiting.at(0)[QStringLiteral("attempts")].toInt(), attempt);
    }
    QCOMPARE(order(paidOrder).value(QStringLiteral("returned")).toDouble(), 0.0);
}

QTEST_GUILESS_MAIN(QueueSurvivalTest)
#include "tst_queuesurvival.moc"
