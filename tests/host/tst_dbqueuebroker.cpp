#include "host/DBQueueBroker.h"
#include "host/HostPaths.h"

#include <QDateTime>
#include <QJsonArray>
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
    void enqueueAndReadBack();
    void survivesReopening();
    void deliverRemovesTakenMessages();
    void refusedMessagesBackOff();
    void scopeDecidesAboutMessagesInBackOff();
    void secondBrokerCannotClaimAMessageBeingHandled();
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

void TestDBQueueBroker::enqueueAndReadBack()
{
    DBQueueBroker broker(databasePath());
    QVERIFY2(broker.isOpen(), qPrintable(broker.errorString()));
    QVERIFY(
        broker.enqueue(QStringLiteral("processing"), cancellation("a"), QStringLiteral("first")));
    QVERIFY(broker.enqueue(QStringLiteral("other"), cancellation("b"), QString()));
    QVERIFY(broker.enqueue(QStringLiteral("processing"), cancellation("c"), QString()));

    const QList<QueuedMessage> processing = broker.messages(QStringLiteral("processing"));
    QCOMPARE(processing.size(), 2);
    QCOMPARE(processing.at(0).message, cancellation("a"));
    QCOMPARE(processing.at(0).text, QStringLiteral("first"));
    QCOMPARE(processing.at(0).queue, QStringLiteral("processing"));
    QCOMPARE(processing.at(0).attempts, 0);
    QVERIFY(processing.at(0).nextAttemptAt.isNull());
    QCOMPARE(processing.at(1).message, cancellation("c"));
    QVERIFY(processing.at(0).id < processing.at(1).id);
    QCOMPARE(broker.messages().size(), 3);
}

void TestDBQueueBroker::survivesReopening()
{
    {
        DBQueueBroker broker(databasePath());
        QVERIFY(broker.enqueue(QStringLiteral("processing"), cancellation("kept"), QString()));
    }
    DBQueueBroker reopened(databasePath());
    const QList<QueuedMessage> messages = reopened.messages(QStringLiteral("processing"));
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.first().message, cancellation("kept"));
}

void TestDBQueueBroker::deliverRemovesTakenMessages()
{
    DBQueueBroker broker(databasePath());
    broker.enqueue(QStringLiteral("processing"), cancellation("first"), QString());
    broker.enqueue(QStringLiteral("processing"), cancellation("second"), QString());
    broker.enqueue(QStringLiteral("other"), cancellation("elsewhere"), QString());

    QStringList handed;
    const DeliveryReport report
        = broker.deliver(QStringLiteral("processing"), [&handed](const QVariantMap &message) {
              handed.append(operationIdOf(message));
              return message.value(QStringLiteral("valutCode")).toInt() == 643;
          });
    QCOMPARE(handed, QStringList({"first", "second"}));
    QCOMPARE(report.delivered, 2);
    QCOMPARE(report.failed, 0);
    QVERIFY(broker.messages(QStringLiteral("processing")).isEmpty());
    QCOMPARE(broker.messages(QStringLiteral("other")).size(), 1);
}

void TestDBQueueBroker::refusedMessagesBackOff()
{
    DBQueueBroker broker(databasePath());
    broker.enqueue(QStringLiteral("processing"), cancellation("refused"), QString());
    const auto refuse = [](const QVariantMap &) {
        return false;
    };

    qint64 before = QDateTime::currentMSecsSinceEpoch();
    DeliveryReport report = broker.deliver(QStringLiteral("processing"), refuse);
    qint64 after = QDateTime::currentMSecsSinceEpoch();
    QCOMPARE(report.failed, 1);
    QueuedMessage kept = broker.messages().value(0);
    QCOMPARE(kept.attempts, 1);
    QVERIFY(kept.nextAttemptAt.toMSecsSinceEpoch() >= before + 30000);
    QVERIFY(kept.nextAttemptAt.toMSecsSinceEpoch() <= after + 30000);

    before = QDateTime::currentMSecsSinceEpoch();
    broker.deliver(QStringLiteral("processing"), refuse, DBQueueBroker::Scope::All);
    after = QDateTime::currentMSecsSinceEpoch();
    kept = broker.messages().value(0);
    QCOMPARE(kept.attempts, 2);
    QVERIFY(kept.nextAttemptAt.toMSecsSinceEpoch() >= before + 60000);
    QVERIFY(kept.nextAttemptAt.toMSecsSinceEpoch() <= after + 60000);

    for (int i = 0; i < 10; ++i)
        broker.deliver(QStringLiteral("processing"), refuse, DBQueueBroker::Scope::All);
    after = QDateTime::currentMSecsSinceEpoch();
    kept = broker.messages().value(0);
    QCOMPARE(kept.attempts, 12);
    QVERIFY(kept.nextAttemptAt.toMSecsSinceEpoch() <= after + 60 * 60 * 1000);
    QCOMPARE(kept.message, cancellation("refused"));
}

void TestDBQueueBroker::scopeDecidesAboutMessagesInBackOff()
{
    DBQueueBroker broker(databasePath());
    broker.enqueue(QStringLiteral("processing"), cancellation("waiting"), QString());
    broker.deliver(QStringLiteral("processing"), [](const QVariantMap &) { return false; });

    int calls = 0;
    const auto take = [&calls](const QVariantMap &) {
        return ++calls > 0;
    };
    DeliveryReport report = broker.deliver(QStringLiteral("processing"), take);
    QCOMPARE(calls, 0);
    QCOMPARE(report.delivered + report.failed, 0);

    report = broker.deliver(QStringLiteral("processing"), take, DBQueueBroker::Scope::All);
    QCOMPARE(calls, 1);
    QCOMPARE(report.delivered, 1);
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
