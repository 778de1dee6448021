#include "host/DBQueueBroker.h"
#include "host/log4qt/LogManager.h"
#include "host/log4qt/MemoryAppender.h"

#include "tests/SqlFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

const QString Processing = QStringLiteral("processing");

QJsonObject cancellation(const QString &operationId)
{
    const QString json
        = QStringLiteral(R"({"request":{"operationId":"%1","amount":15050},"valutCode":643})");
    return QJsonDocument::fromJson(json.arg(operationId).toUtf8()).object();
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

// Whether the message stays with that many attempts, due that pause after the time given.
bool isDueAfter(const QueuedMessage &message, int attempts, qint64 since, qint64 pause)
{
    const qint64 due = message.nextAttemptAt.toMSecsSinceEpoch();
    return message.attempts == attempts && due >= since + pause
           && due <= QDateTime::currentMSecsSinceEpoch() + pause;
}

// Refuses the message once, due or not; true when it stays as isDueAfter() says.
bool refusedWithPause(DBQueueBroker &broker, int attempts, qint64 pause)
{
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    deliverAll(broker, false);
    return isDueAfter(broker.messages(Processing).value(0), attempts, before, pause);
}

} // namespace

class TestDBQueueBroker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void messagesLiveUntilTaken();
    void secondBrokerCannotClaimAMessageBeingHandled();
    void claimOfAProcessThatDiedIsVoid_data();
    void claimOfAProcessThatDiedIsVoid();
    void olderFileOpenedByManyAtOnce();
    void failedRemovalIsLoggedAsAnError();
    void unusableFileIsReported();

private:
    // A file of its own for each test and row.
    QString databasePath() const
    {
        return m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction())
                              + QString::fromUtf8(QTest::currentDataTag()) + ".sqlite");
    }

    QTemporaryDir m_dir;
};

// Kept across reopening, per queue, oldest first, until its handler takes it. A refused message
// stays with one more attempt and a pause that doubles from half a minute up to an hour; only
// Scope::All hands it over before its pause has run out.
void TestDBQueueBroker::messagesLiveUntilTaken()
{
    {
        DBQueueBroker broker(databasePath());
        QVERIFY2(broker.enqueue(Processing, cancellation("refused"), "first"),
                 qPrintable(broker.errorString()));
        QVERIFY(broker.enqueue(QStringLiteral("other"), cancellation("elsewhere"), QString()));
        QVERIFY(broker.enqueue(Processing, cancellation("taken"), QString()));
    }
    DBQueueBroker broker(databasePath());
    QCOMPARE(broker.messages(Processing).value(0).text, QStringLiteral("first"));
    QVERIFY(broker.messages(Processing).value(0).nextAttemptAt.isNull());
    QStringList handed;
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    const DeliveryReport report = broker.deliver(Processing, [&handed](const QVariantMap &message) {
        handed.append(operationIdOf(message));
        return message.value(QStringLiteral("valutCode")).toInt() == 643 && handed.size() == 2;
    });
    QCOMPARE(handed, QStringList({"refused", "taken"}));
    QCOMPARE(report.delivered, 1);
    QCOMPARE(report.failed, 1);
    QVERIFY(isDueAfter(broker.messages(Processing).value(0), 1, before, 30000));

    QCOMPARE(broker.deliver(Processing, [](const QVariantMap &) { return true; }).delivered, 0);
    QVERIFY(refusedWithPause(broker, 2, 60000));
    for (int attempts = 3; attempts < 12; ++attempts)
        deliverAll(broker, false);
    QVERIFY(refusedWithPause(broker, 12, 60 * 60 * 1000));
    QCOMPARE(deliverAll(broker, true).delivered, 1);
    QVERIFY(broker.messages(Processing).isEmpty());
    QCOMPARE(broker.messages().size(), 1);
}

// Two till processes share the queue file: while one handles a message, the other must not
// hand the same message to its own handler.
void TestDBQueueBroker::secondBrokerCannotClaimAMessageBeingHandled()
{
    DBQueueBroker first(databasePath());
    DBQueueBroker second(databasePath());
    first.enqueue(Processing, cancellation("one"), QString());
    first.enqueue(Processing, cancellation("two"), QString());

    QStringList handed;
    first.deliver(Processing, [&](const QVariantMap &message) {
        handed.append(QStringLiteral("first ") + operationIdOf(message));
        if (handed.size() == 1) {
            const auto take = [&handed](const QVariantMap &other) {
                handed.append(QStringLiteral("second ") + operationIdOf(other));
                return true;
            };
            second.deliver(Processing, take, DBQueueBroker::Scope::All);
        }
        return true;
    });

    QCOMPARE(handed, QStringList({"first one", "second two"}));
    QVERIFY(first.messages().isEmpty());
}

void TestDBQueueBroker::claimOfAProcessThatDiedIsVoid_data()
{
    QTest::addColumn<QString>("holder"); // empty: a file written before claims named their process

    QTest::newRow("held by a process that has died") << "boot/2147483647/1";
    // After a restart of the machine, this very process id may belong to another process.
    QTest::newRow("held by this id before a restart")
        << QStringLiteral("another-boot/%1/1").arg(QCoreApplication::applicationPid());
    QTest::newRow("held in a file of the older form") << QString();
}

// Every claim is fresh (it would last minutes more): only its holder decides.
void TestDBQueueBroker::claimOfAProcessThatDiedIsVoid()
{
    QFETCH(QString, holder);
    DBQueueBroker(databasePath()).enqueue(Processing, cancellation("claimed"), QString());
    QStringList claim{QStringLiteral("UPDATE messages SET claimed_until = %1, claimed_by = '%2'")
                          .arg(QDateTime::currentMSecsSinceEpoch() + 60000)
                          .arg(holder)};
    if (holder.isEmpty())
        claim.append(QStringLiteral("ALTER TABLE messages DROP COLUMN claimed_by"));
    QVERIFY(runOnSqlFile(databasePath(), claim));

    DBQueueBroker broker(databasePath());
    QCOMPARE(deliverAll(broker, true).delivered, 1);
}

// Tills that start together on a file of the older form all upgrade it: none fails, whichever
// adds the claim holder first, and every message is there once. Each broker has a connection of
// its own, as each process has; the race is run many times over, as it is seldom lost.
void TestDBQueueBroker::olderFileOpenedByManyAtOnce()
{
    constexpr int Rounds = 5;
    constexpr int Tills = 6;
    for (int round = 0; round < Rounds; ++round) {
        const QString path = m_dir.filePath(QStringLiteral("older-%1.sqlite").arg(round));
        DBQueueBroker(path).enqueue(Processing, cancellation("older"), QString());
        QVERIFY(
            runOnSqlFile(path, {QStringLiteral("ALTER TABLE messages DROP COLUMN claimed_by")}));

        std::atomic<int> waiting{Tills};
        QStringList errors;
        std::mutex errorsMutex;
        std::vector<std::thread> tills;
        for (int till = 0; till < Tills; ++till) {
            tills.emplace_back([&, till] {
                for (--waiting; waiting > 0;)
                    std::this_thread::yield();
                DBQueueBroker broker(path);
                if (broker.enqueue(Processing, cancellation(QString::number(till)), QString()))
                    return;
                const std::lock_guard<std::mutex> lock(errorsMutex);
                errors.append(broker.errorString());
            });
        }
        for (std::thread &till : tills)
            till.join();
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QStringLiteral("; "))));
        QCOMPARE(DBQueueBroker(path).messages(Processing).size(), Tills + 1);
    }
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
            return runOnSqlFile(databasePath(),
                                {QStringLiteral("ALTER TABLE messages RENAME TO gone")});
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
    QFile blocker(m_dir.filePath(QStringLiteral("plain-file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    DBQueueBroker broker(blocker.fileName() + QStringLiteral("/queue.sqlite"));
    QVERIFY(!broker.enqueue(Processing, cancellation("lost"), QString()));
    QVERIFY(!broker.errorString().isEmpty());
}

QTEST_GUILESS_MAIN(TestDBQueueBroker)

#include "tst_dbqueuebroker.moc"
