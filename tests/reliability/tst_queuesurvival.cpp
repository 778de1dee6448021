// The host queue outlives the till: built zorvik-till processes sharing one SQLite queue file,
// killed without warning at every point of a payment and of a return, running the queue side by
// side, and failing a message again and again, against the simulated service.

#include "sim/Simulator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

const QString Amount = QStringLiteral("15050");

zorviksim::SimulatorOptions serviceOptions()
{
    zorviksim::SimulatorOptions options;
    // Slow answers take a while, so that two tills overlap in the queue and a till can be
    // killed while it waits for one.
    options.slowAnswerDelay = std::chrono::seconds(2);
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
    void killedAtEachPoint_data();
    void killedAtEachPoint();
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
    QString logSince(qint64 offset) const;

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

QString QueueSurvivalTest::logSince(qint64 offset) const
{
    QFile log(m_dir.filePath(QStringLiteral("till.log")));
    if (!log.open(QIODevice::ReadOnly) || !log.seek(offset))
        return {};
    return QString::fromUtf8(log.readAll());
}

// The till dies in the middle of a payment, right after it queued the cancellation of an
// earlier one: the next till finds that message and, from the payment journal, the order it
// was paying. It returns the paid order; the other is still open at the service, so its
// cancellation waits in the queue until the service gives the order up.
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
    const QString openOrder = m_service.state()
                                  .value(QStringLiteral("orders"))
                                  .toArray()
                                  .last()[QStringLiteral("client_transaction")]
                                  .toString();
    ::kill(till.processId(), SIGKILL);
    QVERIFY(till.waitForFinished(20000));
    QCOMPARE(till.exitStatus(), QProcess::CrashExit);

    const QJsonArray waiting = queueList(queue);
    QCOMPARE(waiting.size(), 2);
    for (const auto &[index, operationId] : {std::pair(0, paidOrder), std::pair(1, openOrder)}) {
        const QJsonValue message = waiting.at(index)[QStringLiteral("message")];
        QCOMPARE(message[QStringLiteral("request")][QStringLiteral("operationId")].toString(),
                 operationId);
        QCOMPARE(message[QStringLiteral("refundId")].toString().size(), 36);
        QCOMPARE(waiting.at(index)[QStringLiteral("attempts")].toInt(), 0);
    }

    QCOMPARE(runTill(queue, {QStringLiteral("queue"), QStringLiteral("run")}).value(0),
             (QJsonObject{{"command", "queue run"}, {"delivered", 1}, {"failed", 1}}));
    QCOMPARE(queueList(queue).size(), 1);
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

void QueueSurvivalTest::killedAtEachPoint_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("returnFromQueue"); // paid first; the killed till runs the queue
    QTest::addColumn<QString>("killWhen");     // this counter of the order reaches 1; "": it exists
    QTest::addColumn<bool>("holdQueueLock");   // the queue's removal waits on another writer

    QTest::newRow("before the order answer") << "ZVQR-PAY1-ORDERSLOW" << false << "" << false;
    QTest::newRow("while waiting for payment")
        << "ZVQR-PAY1-STATUSSLOW1" << false << "statusRequests" << false;
    QTest::newRow("during the return's exchange")
        << "ZVQR-PAY1-RETURNSLOW1" << true << "returnRequests" << false;
    QTest::newRow("after an accepted return, before the queue removed its message")
        << "ZVQR-PAY1-RETURNSLOW1" << true << "returnRequests" << true;
}

// Whatever point the till dies at, the next till finishes the job from the queue and its own
// journal: the order ends paid and returned once, and the queue empties.
void QueueSurvivalTest::killedAtEachPoint()
{
    QFETCH(QString, code);
    QFETCH(bool, returnFromQueue);
    QFETCH(QString, killWhen);
    QFETCH(bool, holdQueueLock);
    const QString queue = QStringLiteral("%1/queue.sqlite").arg(QTest::currentDataTag());
    QVERIFY(QDir(m_dir.path()).mkpath(QTest::currentDataTag()));

    QString paidOrder;
    QByteArray input = QStringLiteral("pay %1 %2\n").arg(Amount, code).toUtf8();
    if (returnFromQueue) {
        paidOrder = payOrders(queue, code, 1).value(0);
        QVERIFY(!paidOrder.isEmpty());
        QCOMPARE(runTill(queue, {}, deferCancellations({paidOrder})).size(), 1);
        input = "queue run\n";
    }

    const qint64 logOffset = QFileInfo(m_dir.filePath(QStringLiteral("till.log"))).size();
    const qsizetype ordersBefore
        = m_service.state().value(QStringLiteral("orders")).toArray().size();
    const auto watchedOrder = [&] {
        const QJsonArray orders = m_service.state().value(QStringLiteral("orders")).toArray();
        if (returnFromQueue)
            return order(paidOrder);
        return orders.size() > ordersBefore ? orders.last().toObject() : QJsonObject();
    };
    QProcess till;
    startTill(till, queue, {});
    till.write(input);
    QTRY_VERIFY_WITH_TIMEOUT(!watchedOrder().isEmpty()
                                 && (killWhen.isEmpty() || watchedOrder()[killWhen].toInt() > 0),
                             20000);
    const QString killedOrder = watchedOrder()[QStringLiteral("client_transaction")].toString();
    QSqlDatabase lock
        = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("lock"));
    if (holdQueueLock) {
        lock.setDatabaseName(m_dir.filePath(queue));
        QVERIFY(lock.open());
        QVERIFY(QSqlQuery(lock).exec(QStringLiteral("BEGIN IMMEDIATE")));
        QTRY_VERIFY_WITH_TIMEOUT(
            logSince(logOffset).contains(QStringLiteral("Состояние сессии сброшено")), 20000);
    }
    ::kill(till.processId(), SIGKILL);
    QVERIFY(till.waitForFinished(20000));
    QCOMPARE(till.exitStatus(), QProcess::CrashExit);
    if (holdQueueLock)
        QSqlQuery(lock).exec(QStringLiteral("ROLLBACK"));
    lock.close();
    lock = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("lock"));

    QCOMPARE(runTill(queue, {QStringLiteral("queue"), QStringLiteral("run")}).value(0),
             (QJsonObject{{"command", "queue run"}, {"delivered", 1}, {"failed", 0}}));
    QCOMPARE(queueList(queue).size(), 0);
    const QJsonObject settled = order(killedOrder);
    QCOMPARE(settled[QStringLiteral("state")].toString(), QStringLiteral("paid"));
    QCOMPARE(settled[QStringLiteral("returned")].toDouble(), 150.5);
    QCOMPARE(settled[QStringLiteral("refunds")].toArray().size(), 1);
}

QTEST_GUILESS_MAIN(QueueSurvivalTest)
#include "tst_queuesurvival.moc"
