#include "host/DBQueueBroker.h"
#include "host/HostPaths.h"
#include "host/log4qt/LogManager.h"
#include "host/log4qt/MemoryAppender.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Processing = QStringLiteral("processing");

QJsonObject cancellation(const QString &operationId)
{
    return {{QStringLiteral("request"),
             QJsonObject{{QStringLiteral("operationId"), operationId},
                         {QStringLiteral("amount"), 15050}}},
            {QStringLiteral("valutCode"), 643}};
}

QString operationIdOf(const QVariantMap &message)
{
    return message.value(QStringLiteral("request")).toMap().value("operationId").toString();
}

DeliveryReport deliverAll(DBQueueBroker &broker, bool take)
{
    return broker.deliver(
        Processing, [take](const QVariantMap &) { return take; }, DBQueueBroker::Scope::All);
}

// Runs SQL on the queue file beside the broker, as another process would; true when it ran.
bool execute(const QString &path, const QStringList &statements)
{
    bool ran = true;
    {
        QSqlDatabase file = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "direct");
        file.setDatabaseName(path);
        ran = file.open();
        for (const QString &statement : statements)
            ran = ran && QSqlQuery(file).exec(statement);
    }
    QSqlDatabase::removeDatabase("direct");
    return ran;
}

// Refuses the message once; true when it stays with that many attempts, due after that pause.
bool refusedWithPause(DBQueueBroker &broker, DBQueueBroker::Scope scope, int attempts, qint64 pause)
{
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    broker.deliver(
        Processing, [](const QVariantMap &) { return false; }, scope);
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    const QueuedMessage kept = broker.messages().value(0);
    const qint64 due = kept.nextAttemptAt.toMSecsSinceEpoch();
    return kept.attempts == attempts && due >= before + pause && due <= after + pause
           && kept.message == cancellation("refused");
}

} // namespace

class TestDBQueueBroker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void messagesAreKeptUntilTaken();
    void refusedMessagesBackOff();
    void secondBrokerCannotClaimAMessageBeingHandled();
    void claimOfAProcessThatDiedIsVoid_data();
    void claimOfAProcessThatDiedIsVoid();
    void failedRemovalIsLoggedAsAnError();
    void unusableFileIsReported();
    void defaultPathFollowsTheHostRoot();

private:
    QString databasePath() const { return m_dir->filePath(QStringLiteral("queue.sqlite")); }

    QScopedPointer<QTemporaryDir> m_dir;
};

void TestDBQueueBroker::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
}

// Kept across reopening, per queue, oldest first; deleted once its handler has taken it.
void TestDBQueueBroker::messagesAreKeptUntilTaken()
{
    {
        DBQueueBroker broker(databasePath());
        QVERIFY2(broker.isOpen(), qPrintable(broker.errorString()));
        QVERIFY(broker.enqueue(Processing, cancellation("a"), "first"));
        QVERIFY(broker.enqueue(QStringLiteral("other"), cancellation("b"), QString()));
        QVERIFY(broker.enqueue(Processing, cancellation("c"), QString()));
    }
    DBQueueBroker broker(databasePath());
    const QList<QueuedMessage> kept = broker.messages(Processing);
    QCOMPARE(kept.size(), 2);
    QCOMPARE(kept.at(0).message, cancellation("a"));
    QCOMPARE(kept.at(0).text, QStringLiteral("first"));
    QCOMPARE(kept.at(0).attempts, 0);
    QVERIFY(kept.at(0).nextAttemptAt.isNull());

    QStringList handed;
    const DeliveryReport report = broker.deliver(Processing, [&handed](const QVariantMap &message) {
        handed.append(operationIdOf(message));
        return message.value(QStringLiteral("valutCode")).toInt() == 643;
    });
    QCOMPARE(handed, QStringList({"a", "c"}));
    QCOMPARE(report.delivered, 2);
    QCOMPARE(report.failed, 0);
    QVERIFY(broker.messages(Processing).isEmpty());
    QCOMPARE(broker.messages().size(), 1);
}

// The pause doubles from half a minute with each refusal, up to an hour; only Scope::All
// hands over a message whose pause has not yet run out.
void TestDBQueueBroker::refusedMessagesBackOff()
{
    DBQueueBroker broker(databasePath());
    broker.enqueue(Processing, cancellation("refused"), QString());

    QVERIFY(refusedWithPause(broker, DBQueueBroker::Scope::DueOnly, 1, 30000));
    const DeliveryReport waiting
        = broker.deliver(Processing, [](const QVariantMap &) { return true; });
    QCOMPARE(waiting.delivered + waiting.failed, 0);
    QVERIFY(refusedWithPause(broker, DBQueueBroker::Scope::All, 2, 60000));
    for (int attempts = 3; attempts < 12; ++attempts)
        deliverAll(broker, false);
    QVERIFY(refusedWithPause(broker, DBQueueBroker::Scope::All, 12, 60 * 60 * 1000));
    QCOMPARE(deliverAll(broker, true).delivered, 1);
    QVERIFY(broker.messages().isEmpty());
}

// Two till processes share the queue file: while one handles a message, the other must not
// hand the same message to its own handler.
void TestDBQueueBroker::secondBrokerCannotClaimAMessageBeingHandled()
{
    DBQueueBroker first(databasePath());
    DBQueueBroker second(databasePath());
    first.enqueue(Processing, cancellation("one"), QString());
    first.enqueue(Processing, cancellation("two"), QString());

    QStringList handledByFirst;
    QStringList handledBySecond;
    const DeliveryReport firstReport = first.deliver(Processing, [&](const QVariantMap &message) {
        handledByFirst.append(operationIdOf(message));
        if (handledByFirst.size() == 1) {
            second.deliver(
                Processing,
                [&](const QVariantMap &other) {
                    handledBySecond.append(operationIdOf(other));
                    return true;
                },
                DBQueueBroker::Scope::All);
        }
        return true;
    });

    QCOMPARE(handledByFirst, QStringList({"one"}));
    QCOMPARE(handledBySecond, QStringList({"two"}));
    QCOMPARE(firstReport.delivered, 1);
    QVERIFY(first.messages().isEmpty());
}

void TestDBQueueBroker::claimOfAProcessThatDiedIsVoid_data()
{
    QTest::addColumn<qint64>("holder"); // 0: a file written before claims named their process
    QTest::addColumn<int>("delivered");

    QTest::newRow("held by this running process") << QCoreApplication::applicationPid() << 0;
    QTest::newRow("held by a process that has died") << qint64(2147483647) << 1;
    QTest::newRow("held in a file of the older form") << qint64(0) << 1;
}

// Every claim is fresh (it would last minutes more): only its holder decides.
void TestDBQueueBroker::claimOfAProcessThatDiedIsVoid()
{
    QFETCH(qint64, holder);
    DBQueueBroker(databasePath()).enqueue(Processing, cancellation("claimed"), QString());
    QStringList claim{QStringLiteral("UPDATE messages SET claimed_until = %1, claimed_by = %2")
                          .arg(QDateTime::currentMSecsSinceEpoch() + 60000)
                          .arg(holder)};
    if (holder == 0)
        claim.append(QStringLiteral("ALTER TABLE messages DROP COLUMN claimed_by"));
    QVERIFY(execute(databasePath(), claim));

    DBQueueBroker broker(databasePath());
    QVERIFY2(broker.isOpen(), qPrintable(broker.errorString()));
    QTEST(deliverAll(broker, true).delivered, "delivered");
}

// The handler took the message, but it cannot be deleted: it will come back, and the log says
// why.
void TestDBQueueBroker::failedRemovalIsLoggedAsAnError()
{
    Log4Qt::MemoryAppender log;
    Log4Qt::LogManager::addAppender(&log);
    DBQueueBroker broker(databasePath());
    broker.enqueue(Processing, cancellation("kept"), QString());

    const DeliveryReport report = broker.deliver(
        Processing,
        [this](const QVariantMap &) {
            return execute(databasePath(), {QStringLiteral("ALTER TABLE messages RENAME TO gone")});
        },
        DBQueueBroker::Scope::All);
    Log4Qt::LogManager::removeAppender(&log);

    QCOMPARE(report.delivered, 1);
    QCOMPARE(log.lines().size(), 1);
    QVERIFY2(log.lines().first().startsWith(
                 "ERROR Не удалось удалить выполненное сообщение 1 из очереди: "),
             qPrintable(log.lines().first()));
}

void TestDBQueueBroker::unusableFileIsReported()
{
    const QString blocker = m_dir->filePath(QStringLiteral("plain-file"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    DBQueueBroker broker(blocker + QStringLiteral("/queue.sqlite"));
    QVERIFY(!broker.isOpen());
    QVERIFY(!broker.enqueue(Processing, cancellation("lost"), QString()));
    QVERIFY(!broker.errorString().isEmpty());
}

void TestDBQueueBroker::defaultPathFollowsTheHostRoot()
{
    HostPaths::setRoot(m_dir->path());
    DBQueueBroker broker;
    HostPaths::setRoot(QString());
    QCOMPARE(broker.databasePath(),
             m_dir->path() + QStringLiteral("/trelmo/cash/data/queue.sqlite"));
    QVERIFY2(broker.isOpen(), qPrintable(broker.errorString()));
}

QTEST_GUILESS_MAIN(TestDBQueueBroker)

#include "tst_dbqueuebroker.moc"
