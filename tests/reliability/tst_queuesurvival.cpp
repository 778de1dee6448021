// The host queue and the payment journal outlive the till: zorvik-till processes on one SQLite
// queue file and one journal, killed at every point of a payment and of a return, running the
// queue side by side, returning the same order, or finding their files busy.

#include "tests/SqlFile.h"
#include "tests/till/TillBench.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
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

// What a till printed for one command, in short: "STATUS messageId" of a payment or return,
// "delivered N failed M" of a queue run, else the command's name (or what went wrong).
QString describe(const QJsonObject &result)
{
    if (result.contains(QStringLiteral("setup")))
        return result.value(QStringLiteral("setup")).toString();
    if (result.contains(QStringLiteral("delivered")))
        return QStringLiteral("delivered %1 failed %2")
            .arg(result.value(QStringLiteral("delivered")).toInt())
            .arg(result.value(QStringLiteral("failed")).toInt());
    if (!result.contains(QStringLiteral("status")))
        return result.value(QStringLiteral("command")).toString();
    const QString messageId = result[QStringLiteral("message")][QStringLiteral("id")].toString();
    return QStringLiteral("%1 %2")
        .arg(result.value(QStringLiteral("status")).toInt())
        .arg(messageId)
        .trimmed();
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
    void moneyExactAcrossProcesses_data();
    void moneyExactAcrossProcesses();

private:
    QStringList payAndDefer(const QString &queue, const QString &code, int count) const;
    QString logSince(qint64 offset) const;
    // "MESSAGES queued; order STATE, returned SUM in N refunds".
    QString settlement(const QString &queue, const QString &operationId);

    // Plays one step of a row (see moneyExactAcrossProcesses_data); what the till printed.
    QString playStep(const QString &step, const QString &folder, QProcess &longLived);
    QJsonObject runHeld(const QString &heldFile, const QString &command, const QString &folder);
    bool orderReaches(const QString &counter, qsizetype ordersBefore);
    // "wal, N payments, M returns", as another process reads the payment journal.
    QString journalState(const QString &folder) const;
    // The warnings and errors logged since the offset, "LEVEL text" each.
    QString problemsSince(qint64 offset) const;

    TillBench m_till;
    QString m_order; // the order a row pays first
    int m_rows = 0;
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
    const qsizetype queued = m_till.queueList(queue).size();
    if (order.isEmpty())
        return QStringLiteral("%1 queued; no order").arg(queued);
    return QStringLiteral("%1 queued; order %2, returned %3 in %4 refunds")
        .arg(queued)
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
    {
        SqlWriter writer(m_till.path(queue));
        if (holdQueueLock) {
            QVERIFY(writer.hold());
            QTRY_VERIFY_WITH_TIMEOUT(
                logSince(logOffset).contains(QStringLiteral("Состояние сессии сброшено")), 20000);
        }
        ::kill(till.processId(), SIGKILL);
        QVERIFY(till.waitForFinished(20000));
        QCOMPARE(till.exitStatus(), QProcess::CrashExit);
    }

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

void QueueSurvivalTest::moneyExactAcrossProcesses_data()
{
    // Each step is one zorvik-till process with that command line ("$ORDER": the order paid by
    // the first step), or:
    //   "A: COMMAND"          one command of a till that stays running from step to step;
    //   "FILE held: COMMAND"  another writer holds the journal or the queue from the start
    //                         ("… once paying": once the order waits for its payment; "…
    //                         once returning": once its return was asked for) until the till
    //                         has ended;
    //   "older files"         the queued messages lose their refund id and the journal its
    //                         returns, as an older plug-in left them.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("results"); // of each step: "STATUS messageId", "delivered N…"
    QTest::addColumn<QString>("problems");    // warnings and errors logged, in order
    QTest::addColumn<QString>("books");       // queue, the order's books and its return requests

    const QString returned = QStringLiteral("0 queued; order paid, returned %1 in %2 refunds; "
                                            "return requests: %3; journal: wal, empty");
    const QString lostAnswer = QStringLiteral("pay 15050 ZVQR-PAY1-RETURNDROP1");
    const QString broken = QStringLiteral("1 restClientConnectionBroken");
    const QString locked = QStringLiteral("database is locked Unable to fetch row");
    const QString died = QStringLiteral("WARN Оплата $ORDER прервана остановкой кассы, отмена "
                                        "через очередь");

    // Told "paid", the host would book a sale that the next start returns.
    QTest::newRow("journal held by another writer after a paid payment")
        << QStringList{"journal held once paying: pay 15050 ZVQR-PAY1-STATUSSLOW1", "queue run"}
        << QStringList{"1 zorvikCpqrPaymentNotKept", "delivered 2 failed 0"}
        << "ERROR Не удалось удалить оплату $ORDER из журнала оплат …: " + locked
               + "; ERROR Не удалось удалить оплату $ORDER из журнала оплат …: " + locked + "; "
               + died
        << returned.arg("150.5", "1", "no cart; same id, no cart");
    // An order registered without its note would be lost to a kill: nothing is sent.
    QTest::newRow("journal held by another writer when a payment starts")
        << QStringList{"journal held: pay 15050 ZVQR-PAY1", "queue run"}
        << QStringList{"1 zorvikCpqrPaymentNotRecorded", "delivered 0 failed 0"}
        << "ERROR Не удалось записать оплату <id> в журнал оплат …: " + locked
        << "0 queued; no order; return requests: ; journal: wal, empty";
    // A return made whose note stays would lend its id to a later return of the same amount.
    QTest::newRow("journal held by another writer when a queued return is answered")
        << QStringList{"pay 15050 ZVQR-PAY1-RETURNSLOW1",
                       "defer $ORDER 15050",
                       "journal held once returning: queue run",
                       "queue run"}
        << QStringList{"0", "defer", "delivered 0 failed 1", "delivered 1 failed 0"}
        << "ERROR Не удалось удалить возврат по операции $ORDER из журнала оплат …: " + locked
        << returned.arg("150.5", "1", "no cart; same id, no cart");
    // A return noted nowhere could be paid out beside another of the same order and amount.
    QTest::newRow("journal held by another writer when the host defers a return")
        << QStringList{"pay 15050 ZVQR-PAY1", "journal held: defer $ORDER 15050", "queue run"}
        << QStringList{"0", "defer", "delivered 0 failed 0"}
        << "ERROR Не удалось записать возврат по операции $ORDER в журнал оплат …: " + locked
               + "; ERROR Не удалось поставить отмену заказа $ORDER в очередь"
        << "0 queued; order paid, returned 0 in 0 refunds; return requests: ; journal: wal, empty";
    QTest::newRow("queue file held busy when the cancellation must be queued")
        << QStringList{"queue held: pay 15050 ZVQR-PAY1-STATUSDROP1", "queue run"}
        << QStringList{broken, "delivered 1 failed 0"}
        << "ERROR Не удалось поставить отмену заказа $ORDER в очередь; " + died
        << returned.arg("150.5", "1", "no cart");
    // The queue's return is the one whose answer the first till lost: the later return of the
    // same amount is a return of its own.
    QTest::newRow("two processes return the same order and amount, one after a lost answer")
        << QStringList{lostAnswer,
                       "A: refund $ORDER 5050",
                       "A: defer $ORDER 5050",
                       "queue run",
                       "A: refund $ORDER 5050"}
        << QStringList{"0", broken, "defer", "delivered 1 failed 0", "0"} << QString()
        << returned.arg("101", "2", "receipt; same id, no cart; receipt");
    QTest::newRow("a restart between two attempts of a partial return")
        << QStringList{lostAnswer, "refund $ORDER 5050", "refund $ORDER 5050"}
        << QStringList{"0", broken, "0"} << QString()
        << returned.arg("50.5", "1", "receipt; same id, receipt");
    QTest::newRow("a direct return of an order whose cancellation is queued")
        << QStringList{"pay 15050 ZVQR-PAY1",
                       "defer $ORDER 15050",
                       "cancel $ORDER 15050",
                       "queue run"}
        << QStringList{"0", "defer", "0", "delivered 1 failed 0"} << QString()
        << returned.arg("150.5", "1", "receipt; same id, no cart");
    // The queued message's return was made directly; noted again at its next attempt, its id
    // would be lent to a later return of the same amount, answered as made without money moving.
    QTest::newRow("a queued return made directly, its next answer lost, then deferred again")
        << QStringList{"pay 15050 ZVQR-PAY1-STATUSDROP1-RETURNDROP2",
                       "cancel $ORDER 15050",
                       "queue run",
                       "defer $ORDER 15050",
                       "queue run"}
        << QStringList{broken, "0", "delivered 0 failed 1", "defer", "delivered 1 failed 1"}
        << "ERROR  сообщение об ошибке: 'Сумма возврата превышает остаток к возврату (0.00)'; "
           "ERROR  код ошибки: '161'"
        << "1 queued; order paid, returned 150.5 in 1 refunds; return requests: receipt; same id, "
           "no cart; same id, no cart; no cart; journal: wal, empty";
    QTest::newRow("an older message without a refund id whose answer is lost")
        << QStringList{lostAnswer, "defer $ORDER 5050", "older files", "queue run", "queue run"}
        << QStringList{"0", "defer", "-", "delivered 0 failed 1", "delivered 1 failed 0"}
        << QString() << returned.arg("50.5", "1", "no cart; same id, no cart");
}

// However the processes of a till machine meet, die or find their files busy, the service's
// books show the order paid once and returned at most once, the host is told "paid" or
// "returned" only of money that moved so, and the journal ends with no payment or unsettled
// return, the queue empty but for a refused message the row expects. The journal is in WAL
// mode, where a commit depends on no file deletion.
void QueueSurvivalTest::moneyExactAcrossProcesses()
{
    QFETCH(QStringList, steps);
    const QString folder = QStringLiteral("money/%1").arg(++m_rows);
    QVERIFY(QDir(m_till.path(QString())).mkpath(folder));
    const qint64 logOffset = QFileInfo(m_till.path(QStringLiteral("till.log"))).size();
    m_order.clear();

    QProcess longLived;
    QStringList results;
    for (const QString &step : std::as_const(steps))
        results.append(playStep(step, folder, longLived));
    longLived.closeWriteChannel();
    QVERIFY(longLived.state() == QProcess::NotRunning || longLived.waitForFinished(20000));
    QTEST(results, "results");
    QTEST(problemsSince(logOffset), "problems");

    QStringList returns;
    QString firstRefundId;
    for (const QJsonObject &body : m_till.returnRequests(m_order)) {
        const QString refundId = body.value(QStringLiteral("refundId")).toString();
        const bool same = refundId == firstRefundId;
        firstRefundId = firstRefundId.isEmpty() ? refundId : firstRefundId;
        returns.append((same ? QStringLiteral("same id, ") : QString())
                       + (body.contains(QStringLiteral("refundCart")) ? QStringLiteral("receipt")
                                                                      : QStringLiteral("no cart")));
    }
    const QString books = settlement(folder + QStringLiteral("/queue.sqlite"), m_order)
                          + QStringLiteral("; return requests: %1; journal: %2")
                                .arg(returns.join(QStringLiteral("; ")), journalState(folder));
    QTEST(books, "books");
}

QString QueueSurvivalTest::playStep(const QString &step, const QString &folder, QProcess &longLived)
{
    const QString queue = folder + QStringLiteral("/queue.sqlite");
    QString command = step;
    command.replace(QStringLiteral("$ORDER"), m_order);
    if (command == QLatin1String("older files")) {
        const bool aged = runOnSqlFile(m_till.path(queue),
                                       {"UPDATE messages SET message = json_remove(message, "
                                        "'$.refundId')"})
                          && runOnSqlFile(m_till.path(folder + "/zorvikcpqr-journal.sqlite"),
                                          {"DELETE FROM returns"});
        return aged ? QStringLiteral("-") : QStringLiteral("files not aged");
    }
    QJsonObject result;
    if (command.startsWith(QLatin1String("A: "))) {
        if (longLived.state() == QProcess::NotRunning)
            m_till.startTill(longLived, queue, {});
        longLived.write(command.mid(3).toUtf8() + '\n');
        while (!longLived.canReadLine() && longLived.waitForReadyRead(30000)) {
        }
        result = QJsonDocument::fromJson(longLived.readLine()).object();
    } else if (command.section(QLatin1String(": "), 0, 0).contains(QLatin1String(" held"))) {
        result = runHeld(command.section(QLatin1String(": "), 0, 0),
                         command.section(QLatin1String(": "), 1),
                         folder);
    } else {
        result = m_till.run(queue, command.split(QLatin1Char(' '))).results.value(0);
    }
    if (m_order.isEmpty())
        m_order = result.value(QStringLiteral("operationId")).toString();
    return describe(result);
}

// Another writer takes the file's write lock, from the start or once the order waits for its
// payment, and keeps it until the till has ended; a lock that cannot be taken shows in the
// step's result.
QJsonObject
QueueSurvivalTest::runHeld(const QString &heldFile, const QString &command, const QString &folder)
{
    const QString queue = folder + QStringLiteral("/queue.sqlite");
    const bool journal = heldFile.startsWith(QLatin1String("journal"));
    // "once paying": the new order's first status request; "once returning": the order's first
    // return request.
    const QString waitedFor
        = heldFile.endsWith(QLatin1String("once paying"))      ? QStringLiteral("statusRequests")
          : heldFile.endsWith(QLatin1String("once returning")) ? QStringLiteral("returnRequests")
                                                               : QString();
    // Both files exist before another writer takes one.
    if (m_till.run(queue, {QStringLiteral("queue"), QStringLiteral("list")}).exitCode)
        return {{QStringLiteral("setup"), QStringLiteral("no files")}};
    const qsizetype ordersBefore = m_till.orders().size();
    QJsonObject result{{QStringLiteral("setup"), QStringLiteral("file not held")}};
    SqlWriter writer(
        m_till.path(journal ? folder + QStringLiteral("/zorvikcpqr-journal.sqlite") : queue));
    bool held = !waitedFor.isEmpty() || writer.hold();
    QProcess till;
    m_till.startTill(till, queue, command.split(QLatin1Char(' ')));
    till.closeWriteChannel();
    if (!waitedFor.isEmpty())
        held = orderReaches(waitedFor, ordersBefore) && writer.hold();
    if (till.waitForFinished(60000) && held)
        result = QJsonDocument::fromJson(till.readAllStandardOutput()).object();
    return result;
}

// The row's order, or else the first order after those there were, has that counter above 0.
bool QueueSurvivalTest::orderReaches(const QString &counter, qsizetype ordersBefore)
{
    return QTest::qWaitFor(
        [&] {
            const QJsonArray orders = m_till.orders();
            const QJsonObject order = !m_order.isEmpty()             ? m_till.order(m_order)
                                      : orders.size() > ordersBefore ? orders.last().toObject()
                                                                     : QJsonObject();
            return order[counter].toInt() > 0;
        },
        20000);
}

QString QueueSurvivalTest::journalState(const QString &folder) const
{
    const QString path = m_till.path(folder + QStringLiteral("/zorvikcpqr-journal.sqlite"));
    QStringList state;
    {
        QSqlDatabase journal = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), path);
        journal.setDatabaseName(path);
        journal.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        for (const char *question : {"PRAGMA journal_mode",
                                     "SELECT COUNT(*) || ' payments' FROM payments",
                                     "SELECT COUNT(*) || ' returns' FROM returns"}) {
            QSqlQuery query(journal);
            state.append(journal.open() && query.exec(QLatin1String(question)) && query.next()
                             ? query.value(0).toString()
                             : QStringLiteral("unreadable"));
        }
    }
    QSqlDatabase::removeDatabase(path);
    if (state.mid(1) == QStringList{"0 payments", "0 returns"})
        return state.first() + QStringLiteral(", empty");
    return state.join(QStringLiteral(", "));
}

QString QueueSurvivalTest::problemsSince(qint64 offset) const
{
    QStringList problems;
    for (const QString &line : logSince(offset).split(QLatin1Char('\n'))) {
        // "date time LEVEL logger text"
        const QString level = line.section(QLatin1Char(' '), 2, 2);
        if (level != QLatin1String("WARN") && level != QLatin1String("ERROR"))
            continue;
        QString text = level + QLatin1Char(' ') + line.section(QLatin1Char(' '), 4);
        if (!m_order.isEmpty())
            text.replace(m_order, QStringLiteral("$ORDER"));
        text.replace(
            QRegularExpression(QStringLiteral("[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}")),
            QStringLiteral("<id>"));
        text.replace(QRegularExpression(QStringLiteral("/\\S*/zorvikcpqr-journal.sqlite")),
                     QStringLiteral("…"));
        problems.append(text);
    }
    return problems.join(QStringLiteral("; "));
}

QTEST_GUILESS_MAIN(QueueSurvivalTest)
#include "tst_queuesurvival.moc"
