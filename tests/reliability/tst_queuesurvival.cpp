// The host queue outlives the till: zorvik-till processes on one SQLite queue file, killed at
// every point of a payment and of a return, or running the queue side by side.

#include "tests/till/TillBench.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <csignal>

namespace {

const QString Amount = QStringLiteral("15050");
const QStringList QueueRun{QStringLiteral("queue"), QStringLiteral("run")};

zorviksim::SimulatorOptions serviceOptions()
{
    zorviksim::SimulatorOptions options;
    // Slow answers take a while, so that two tills overlap in the queue and a till can be
    // killed while it waits for one.
    options.slowAnswerDelay = std::chrono::seconds(4);
    return options;
}

} // namespace

class QueueSurvivalTest : public QObject
{
    Q_OBJECT

public:
    QueueSurvivalTest()
        : m_till(serviceOptions())
    {}

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_till.start()); }
    void killedAtEachPoint_data();
    void killedAtEachPoint();
    void twoTillsRunOneQueue();

private:
    QStringList payAndDefer(const QString &queue, const QString &code, int count) const;
    QString logSince(qint64 offset) const;
    // "MESSAGES queued; order STATE, returned SUM in N refunds".
    QString settlement(const QString &queue, const QString &operationId);

    TillBench m_till;
};

// Pays that many orders with the code and defers the cancellation of each; their ids.
QStringList
QueueSurvivalTest::payAndDefer(const QString &queue, const QString &code, int count) const
{
    QByteArray payments;
    for (int i = 0; i < count; ++i)
        payments += QStringLiteral("pay %1 %2\n").arg(Amount, code).toUtf8();
    QStringList operationIds;
    QByteArray cancellations;
    for (const QJsonObject &result : m_till.run(queue, {}, payments).results) {
        if (result.value(QStringLiteral("status")).toInt(-1) != 0)
            continue;
        operationIds.append(result.value(QStringLiteral("operationId")).toString());
        cancellations += QStringLiteral("defer %1 %2\n").arg(operationIds.last(), Amount).toUtf8();
    }
    m_till.run(queue, {}, cancellations);
    return operationIds;
}

QString QueueSurvivalTest::logSince(qint64 offset) const
{
    QFile log(m_till.path(QStringLiteral("till.log")));
    if (!log.open(QIODevice::ReadOnly) || !log.seek(offset))
        return {};
    return QString::fromUtf8(log.readAll());
}

QString QueueSurvivalTest::settlement(const QString &queue, const QString &operationId)
{
    const QJsonObject order = m_till.order(operationId);
    return QStringLiteral("%1 queued; order %2, returned %3 in %4 refunds")
        .arg(m_till.queueList(queue).size())
        .arg(order[QStringLiteral("state")].toString())
        .arg(order[QStringLiteral("returned")].toDouble())
        .arg(order[QStringLiteral("refunds")].toArray().size());
}

void QueueSurvivalTest::twoTillsRunOneQueue()
{
    const QString queue = QStringLiteral("shared.sqlite");
    const QStringList orders = payAndDefer(queue, QStringLiteral("ZVQR-PAY1-RETURNSLOW"), 6);
    QCOMPARE(orders.size(), 6);

    QProcess first;
    QProcess second;
    m_till.startTill(first, queue, QueueRun);
    m_till.startTill(second, queue, QueueRun);
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
    for (const QString &operationId : orders) {
        QCOMPARE(m_till.order(operationId).value(QStringLiteral("returnRequests")).toInt(), 1);
        QCOMPARE(settlement(queue, operationId),
                 QStringLiteral("0 queued; order paid, returned 150.5 in 1 refunds"));
    }
}

void QueueSurvivalTest::killedAtEachPoint_data()
{
    // A return is of an order paid first, by the killed till running the queue.
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("killWhen");   // this counter of the order reaches 1; "": it exists
    QTest::addColumn<bool>("holdQueueLock"); // the queue's removal waits on another writer

    const QString slowReturn = QStringLiteral("ZVQR-PAY1-RETURNSLOW1");
    const QString returned = QStringLiteral("returnRequests");
    QTest::newRow("before the order answer") << "ZVQR-PAY1-ORDERSLOW"
                                             << "" << false;
    QTest::newRow("while waiting for payment") << "ZVQR-PAY1-STATUSSLOW1"
                                               << "statusRequests" << false;
    QTest::newRow("during the return's exchange") << slowReturn << returned << false;
    QTest::newRow("after an accepted return, before the queue removed its message")
        << slowReturn << returned << true;
}

// Whatever point the till dies at, the next till finishes the job from the queue and its own
// journal: the order ends paid and returned once, and the queue empties.
void QueueSurvivalTest::killedAtEachPoint()
{
    QFETCH(QString, code);
    QFETCH(QString, killWhen);
    const bool returnFromQueue = killWhen == QLatin1String("returnRequests");
    QFETCH(bool, holdQueueLock);
    const QString queue = QStringLiteral("%1/queue.sqlite").arg(QTest::currentDataTag());
    QVERIFY(QDir(m_till.path(QString())).mkpath(QTest::currentDataTag()));

    QString paidOrder;
    QByteArray input = QStringLiteral("pay %1 %2\n").arg(Amount, code).toUtf8();
    if (returnFromQueue) {
        paidOrder = payAndDefer(queue, code, 1).value(0);
        QVERIFY(!paidOrder.isEmpty());
        input = "queue run\n";
    }

    const qint64 logOffset = QFileInfo(m_till.path(QStringLiteral("till.log"))).size();
    const qsizetype ordersBefore = m_till.orders().size();
    const auto watchedOrder = [&] {
        if (returnFromQueue)
            return m_till.order(paidOrder);
        const QJsonArray orders = m_till.orders();
        return orders.size() > ordersBefore ? orders.last().toObject() : QJsonObject();
    };
    QProcess till;
    m_till.startTill(till, queue, {});
    till.write(input);
    QTRY_VERIFY_WITH_TIMEOUT(!watchedOrder().isEmpty()
                                 && (killWhen.isEmpty() || watchedOrder()[killWhen].toInt() > 0),
                             20000);
    const QString killedOrder = watchedOrder()[QStringLiteral("client_transaction")].toString();
    QSqlDatabase lock
        = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("lock"));
    if (holdQueueLock) {
        lock.setDatabaseName(m_till.path(queue));
        QVERIFY(lock.open());
        QVERIFY(QSqlQuery(lock).exec(QStringLiteral("BEGIN IMMEDIATE")));
        QTRY_VERIFY_WITH_TIMEOUT(
            logSince(logOffset).contains(QStringLiteral("Состояние сессии сброшено")), 20000);
    }
    ::kill(till.processId(), SIGKILL);
    QVERIFY(till.waitForFinished(20000));
    QCOMPARE(till.exitStatus(), QProcess::CrashExit);
    lock.close(); // and so rolls back
    lock = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("lock"));

    // The next till finds the order's cancellation, from the queue or from its journal.
    const QJsonArray waiting = m_till.queueList(queue);
    QCOMPARE(waiting.size(), 1);
    const QJsonValue message = waiting.at(0)[QStringLiteral("message")];
    QCOMPARE(message[QStringLiteral("request")][QStringLiteral("operationId")], killedOrder);
    QCOMPARE(message[QStringLiteral("refundId")].toString().size(), 36);
    QCOMPARE(waiting.at(0)[QStringLiteral("attempts")], 0);

    QCOMPARE(m_till.run(queue, QueueRun).results.value(0),
             (QJsonObject{{"command", "queue run"}, {"delivered", 1}, {"failed", 0}}));
    QCOMPARE(settlement(queue, killedOrder),
             QStringLiteral("0 queued; order paid, returned 150.5 in 1 refunds"));
}

QTEST_GUILESS_MAIN(QueueSurvivalTest)
#include "tst_queuesurvival.moc"
