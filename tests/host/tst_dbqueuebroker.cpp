#include "host/DBQueueBroker.h"
#include "host/HostPaths.h"
#include "host/log4qt/LogManager.h"
#include "host/log4qt/MemoryAppender.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

QJsonObject cancellation(const QString &operationId)
{
    return {{QStringLiteral("request"),
             QJsonObject{{QStringLiteral("operationId"), operationId},
                         {QStringLiteral("amount"), 15050}}},
            {QStringLiteral("valutCode"), 643}};
}

QString operationIdOf(const QVariantMap &message)
{
    return message.value(QStringLiteral("request"))
        .toMap()
        .value(QStringLiteral("operationId"))
        .toString();
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
        QVERIFY(broker.enqueue(QStringLiteral("processing"), cancellation("a"), "first"));
        QVERIFY(broker.enqueue(QStringLiteral("other"), cancellation("b"), QString()));
        QVERIFY(broker.enqueue(QStringLiteral("processing"), cancellation("c"), QString()));
    }
    DBQueueBroker broker(databasePath());
    const QList<QueuedMessage> kept = broker.messages(QStringLiteral("processing"));
    QCOMPARE(kept.size(), 2);
    QCOMPARE(kept.at(0).message, cancellation("a"));
    QCOMPARE(kept.at(0).text, QStringLiteral("first"));
    QCOMPARE(kept.at(0).attempts, 0);
    QVERIFY(kept.at(0).nextAttemptAt.isNull());

    QStringList handed;
    const DeliveryReport report
        = broker.deliver(QStringLiteral("processing"), [&handed](const QVariantMap &message) {
              handed.append(operationIdOf(message));
              return message.value(QStringLiteral("valutCode")).toInt() == 643;
          });
    QCOMPARE(handed, QStringList({"a", "c"}));
    QCOMPARE(report.delivered, 2);
    QCOMPARE(report.failed, 0);
    QVERIFY(broker.messages(QStringLiteral("processing")).isEmpty());
    QCOMPARE(broker.messages().size(), 1);
}

// The pause doubles from half a minute with each refusal, up to an hour; only Scope::All
// hands over a message whose pause has not yet run out.
void TestDBQueueBroker::refusedMessagesBackOff()
{
    DBQueueBroker broker(databasePath());
    broker.enqueue(QStringLiteral("processing"), cancellation("refused"), QString());
    int calls = 0;
    const auto refuse = [&calls](const QVariantMap &) {
        ++calls;
        return false;
    };
    const auto refuseAndExpectPause
        = [&](DBQueueBroker::Scope scope, int attempts, qint64 pauseMs) {
              const qint64 before = QDateTime::currentMSecsSinceEpoch();
              broker.deliver(QStringLiteral("processing"), refuse, scope);
              const qint64 after = QDateTime::currentMSecsSinceEpoch();
              const QueuedMessage kept = broker.messages().value(0);
              QCOMPARE(kept.attempts, attempts);
              QVERIFY(kept.nextAttemptAt.toMSecsSinceEpoch() >= before + pauseMs);
              QVERIFY(kept.nextAttemptAt.toMSecsSinceEpoch() <= after + pauseMs);
          };

    refuseAndExpectPause(DBQueueBroker::Scope::DueOnly, 1, 30000);
    const DeliveryReport waiting = broker.deliver(QStringLiteral("processing"), refuse);
    QCOMPARE(waiting.delivered + waiting.failed, 0);
    QCOMPARE(calls, 1);
    refuseAndExpectPause(DBQueueBroker::Scope::All, 2, 60000);
    for (int i = 0; i < 9; ++i)
        broker.deliver(QStringLiteral("processing"), refuse, DBQueueBroker::Scope::All);
    refuseAndExpectPause(DBQueueBroker::Scope::All, 12, 60 * 60 * 1000);
    QCOMPARE(broker.messages().value(0).message, cancellation("refused"));

    const DeliveryReport taken = broker.deliver(
        QStringLiteral("processing"),
        [](const QVariantMap &) { return true; },
        DBQueueBroker::Scope::All);
    QCOMPARE(taken.delivered, 1);
    QVERIFY(broker.messages().isEmpty());
}

// Two till processes share the queue file: while one handles a message, the other must not
// hand the same message to its own handler.
void TestDBQueueBroker::secondBrokerCannotClaimAMessageBeingHandled()
{
    DBQueueBroker first(databasePath());
    DBQueueBroker second(databasePath());
    first.enqueue(QStringLiteral("processing"), cancellation("one"), QString());
    first.enqueue(QStringLiteral("processing"), cancellation("two"), QString());

    QStringList handledByFirst;
    QStringList handledBySecond;
    DeliveryReport secondReport;
    const DeliveryReport firstReport
        = first.deliver(QStringLiteral("processing"), [&](const QVariantMap &message) {
              handledByFirst.append(operationIdOf(message));
              if (handledByFirst.size() == 1) {
                  secondReport = second.deliver(
                      QStringLiteral("processing"),
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
    QCOMPARE(secondReport.delivered, 1);
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
    const qint64 claimedUntil = QDateTime::currentMSecsSinceEpoch() + 60000;
    {
        QSqlDatabase file = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "direct");
        file.setDatabaseName(databasePath());
        QVERIFY(file.open());
        QSqlQuery query(file);
        QVERIFY(query.exec("CREATE TABLE messages (id INTEGER PRIMARY KEY AUTOINCREMENT, queue "
                           "TEXT NOT NULL, message TEXT NOT NULL, text TEXT NOT NULL, attempts "
                           "INTEGER NOT NULL DEFAULT 0, next_attempt_at INTEGER NOT NULL DEFAULT "
                           "0, claimed_until INTEGER NOT NULL DEFAULT 0, created_at INTEGER NOT "
                           "NULL)"));
        if (holder != 0)
            QVERIFY(query.exec("ALTER TABLE messages ADD COLUMN claimed_by INTEGER"));
        QVERIFY(
            query.exec(QStringLiteral("INSERT INTO messages (queue, message, text, claimed_until, "
                                      "created_at) VALUES ('processing', '{}', '', %1, 0)")
                           .arg(claimedUntil)));
        if (holder != 0)
            QVERIFY(query.exec(QStringLiteral("UPDATE messages SET claimed_by = %1").arg(holder)));
    }
    QSqlDatabase::removeDatabase("direct");

    DBQueueBroker broker(databasePath());
    QVERIFY2(broker.isOpen(), qPrintable(broker.errorString()));
    const DeliveryReport report = broker.deliver(
        QStringLiteral("processing"),
        [](const QVariantMap &) { return true; },
        DBQueueBroker::Scope::All);
    QTEST(report.delivered, "delivered");
}

// The handler took the message, but it cannot be deleted: it will come back, and the log says
// why.
void TestDBQueueBroker::failedRemovalIsLoggedAsAnError()
{
    Log4Qt::MemoryAppender log;
    Log4Qt::LogManager::addAppender(&log);
    DBQueueBroker broker(databasePath());
    broker.enqueue(QStringLiteral("processing"), cancellation("kept"), QString());

    const DeliveryReport report = broker.deliver(
        QStringLiteral("processing"),
        [this](const QVariantMap &) {
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "other");
            other.setDatabaseName(databasePath());
            return other.open() && QSqlQuery(other).exec("ALTER TABLE messages RENAME TO gone");
        },
        DBQueueBroker::Scope::All);
    QSqlDatabase::removeDatabase("other");
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
    QVERIFY(!broker.enqueue(QStringLiteral("processing"), cancellation("lost"), QString()));
    QVERIFY(!broker.errorString().isEmpty());
    QVERIFY(broker.messages().isEmpty());
}

void TestDBQueueBroker::defaultPathFollowsTheHostRoot()
{
    HostPaths::setRoot(m_dir->path());
    const QString path = DBQueueBroker::defaultDatabasePath();
    QCOMPARE(path, m_dir->path() + QStringLiteral("/trelmo/cash/data/queue.sqlite"));
    DBQueueBroker broker;
    QVERIFY2(broker.isOpen(), qPrintable(broker.errorString()));
    QVERIFY(QFile::exists(path));
    HostPaths::setRoot(QString());
}

QTEST_GUILESS_MAIN(TestDBQueueBroker)

#include "tst_dbqueuebroker.moc"
