#include "host/DBQueueBroker.h"

#include "host/Finally.h"
#include "host/HostPaths.h"
#include "host/log4qt/LogManager.h"
#include "host/log4qt/Logger.h"
#include "liveness/ProcessLiveness.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <atomic>

template<>
DBQueueBroker *Singleton<DBQueueBroker>::instance = nullptr;

namespace {

const QString HostDatabasePath = QStringLiteral("/trelmo/cash/data/queue.sqlite");

// A claim of a running process lapses after this (a handler that hangs); one of a process that
// has died is void at once.
constexpr qint64 ClaimMilliseconds = 5 * 60 * 1000;
constexpr qint64 FirstRetryMilliseconds = 30 * 1000;
constexpr qint64 LongestRetryMilliseconds = 60 * 60 * 1000;

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// 30 s after the first failure, doubled after each further one, at most an hour.
qint64 retryDelay(int attempts)
{
    qint64 delay = FirstRetryMilliseconds;
    for (int i = 1; i < attempts && delay < LongestRetryMilliseconds; ++i)
        delay *= 2;
    return qMin(delay, LongestRetryMilliseconds);
}

QString newConnectionName()
{
    static std::atomic<quint64> counter{0};
    return QStringLiteral("DBQueueBroker-%1").arg(++counter);
}

QSqlQuery prepared(const QSqlDatabase &database, const QString &statement)
{
    QSqlQuery query(database);
    query.prepare(statement);
    return query;
}

bool hasClaimHolder(const QSqlDatabase &database)
{
    return QSqlQuery(database).exec(QStringLiteral("SELECT claimed_by FROM messages LIMIT 0"));
}

QString queueCondition(const QString &queue)
{
    return queue.isEmpty() ? QStringLiteral("1") : QStringLiteral("queue = :queue");
}

// A message claimed for one handler, with what the handler and the back-off need.
struct Claim
{
    bool claimed = false;
    QByteArray message;
    int attempts = 0;
};

// Takes the message for one handler in a write transaction, so that of two processes sharing
// the file only one claims it. A message already claimed, gone, or (for due messages only) not
// due any more is not claimed.
Claim claimMessage(const QSqlDatabase &database, qint64 id, bool dueOnly, QString *errorString)
{
    const auto failed = [errorString](const QSqlQuery &query) {
        *errorString = query.lastError().text();
        return Claim();
    };
    QSqlQuery transaction(database);
    if (!transaction.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failed(transaction);
    bool committed = false;
    Finally rollbackUnlessCommitted([&database, &committed] {
        if (!committed)
            QSqlQuery(database).exec(QStringLiteral("ROLLBACK"));
    });

    const qint64 time = now();
    QSqlQuery select = prepared(database,
                                QStringLiteral("SELECT message, attempts, next_attempt_at, "
                                               "claimed_until, claimed_by FROM messages "
                                               "WHERE id = ?"));
    select.addBindValue(id);
    if (!select.exec())
        return failed(select);
    if (!select.next())
        return Claim(); // taken and deleted by another handler meanwhile
    const bool due = !dueOnly || select.value(2).toLongLong() <= time;
    // A claim lapses with its time, or at once when the process that holds it has died.
    const bool free = select.value(3).toLongLong() < time
                      || !ProcessLiveness::isRunning(select.value(4).toString());
    if (!due || !free)
        return Claim();
    Claim claim{true, select.value(0).toString().toUtf8(), select.value(1).toInt()};
    select.finish();

    QSqlQuery update = prepared(database,
                                QStringLiteral("UPDATE messages SET claimed_until = ?, "
                                               "claimed_by = ? WHERE id = ?"));
    update.addBindValue(time + ClaimMilliseconds);
    update.addBindValue(ProcessLiveness::currentProcessKey());
    update.addBindValue(id);
    if (!update.exec())
        return failed(update);

    committed = transaction.exec(QStringLiteral("COMMIT"));
    if (!committed)
        return failed(transaction);
    return claim;
}

} // namespace

DBQueueBroker::DBQueueBroker()
    : DBQueueBroker(defaultDatabasePath())
{}

DBQueueBroker::DBQueueBroker(const QString &databasePath)
    : m_databasePath(databasePath)
    , m_connectionName(newConnectionName())
{
    open();
}

DBQueueBroker::~DBQueueBroker()
{
    {
        QSqlDatabase database = QSqlDatabase::database(m_connectionName, false);
        database.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

QString DBQueueBroker::defaultDatabasePath()
{
    // A till or a test that maps the host paths gets the queue inside its own tree.
    const QString mapped = HostPaths::resolve(HostDatabasePath);
    if (mapped != HostDatabasePath)
        return mapped;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/trelmo/queue.sqlite");
}

bool DBQueueBroker::isOpen() const
{
    return QSqlDatabase::database(m_connectionName, false).isOpen();
}

bool DBQueueBroker::open()
{
    const QString directory = QFileInfo(m_databasePath).absolutePath();
    if (!QDir().mkpath(directory)) {
        m_errorString = QStringLiteral("cannot create the directory %1").arg(directory);
        return false;
    }

    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    database.setDatabaseName(m_databasePath);
    if (!database.open()) {
        m_errorString = database.lastError().text();
        return false;
    }

    const QStringList statements = {
        QStringLiteral("PRAGMA busy_timeout = 5000"),
        QStringLiteral("PRAGMA journal_mode = WAL"),
        QStringLiteral("PRAGMA synchronous = FULL"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS messages ("
                       "id INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "queue TEXT NOT NULL, "
                       "message TEXT NOT NULL, "
                       "text TEXT NOT NULL, "
                       "attempts INTEGER NOT NULL DEFAULT 0, "
                       "next_attempt_at INTEGER NOT NULL DEFAULT 0, "
                       "claimed_until INTEGER NOT NULL DEFAULT 0, "
                       "created_at INTEGER NOT NULL, "
                       "claimed_by TEXT NOT NULL DEFAULT '')"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS messages_by_queue ON messages (queue, id)"),
    };
    for (const QString &statement : statements) {
        QSqlQuery query(database);
        if (!query.exec(statement)) {
            m_errorString = query.lastError().text();
            database.close();
            return false;
        }
    }
    return addClaimHolder(database);
}

// Files written before claims named their process lack the column; their claims count as held
// by no running process. Tills that start together may all find it missing: under the write
// lock one adds it, and the others find it added.
bool DBQueueBroker::addClaimHolder(QSqlDatabase &database)
{
    if (hasClaimHolder(database))
        return true;
    QSqlQuery upgrade(database);
    const bool upgraded
        = upgrade.exec(QStringLiteral("BEGIN IMMEDIATE"))
          && (hasClaimHolder(database)
              || upgrade.exec(QStringLiteral("ALTER TABLE messages ADD COLUMN claimed_by TEXT "
                                             "NOT NULL DEFAULT ''")))
          && upgrade.exec(QStringLiteral("COMMIT"));
    if (upgraded)
        return true;
    m_errorString = upgrade.lastError().text();
    QSqlQuery(database).exec(QStringLiteral("ROLLBACK"));
    database.close();
    return false;
}

bool DBQueueBroker::enqueue(const QString &queue, const QJsonObject &message, const QString &text)
{
    if (!isOpen()) {
        if (m_errorString.isEmpty())
            m_errorString = QStringLiteral("the queue database is not open");
        return false;
    }
    QSqlQuery query = prepared(QSqlDatabase::database(m_connectionName),
                               QStringLiteral("INSERT INTO messages (queue, message, text, "
                                              "created_at) VALUES (?, ?, COALESCE(?, ''), ?)"));
    query.addBindValue(queue);
    query.addBindValue(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
    query.addBindValue(text);
    query.addBindValue(now());
    if (!query.exec()) {
        m_errorString = query.lastError().text();
        return false;
    }
    return true;
}

QList<QueuedMessage> DBQueueBroker::messages(const QString &queue) const
{
    QList<QueuedMessage> result;
    if (!isOpen())
        return result;
    QSqlQuery query = prepared(QSqlDatabase::database(m_connectionName),
                               QStringLiteral("SELECT id, queue, message, text, attempts, "
                                              "next_attempt_at FROM messages WHERE ")
                                   + queueCondition(queue) + QStringLiteral(" ORDER BY id"));
    if (!queue.isEmpty())
        query.bindValue(QStringLiteral(":queue"), queue);
    if (!query.exec()) {
        m_errorString = query.lastError().text();
        return result;
    }
    while (query.next()) {
        QueuedMessage message;
        message.id = query.value(0).toLongLong();
        message.queue = query.value(1).toString();
        message.message = QJsonDocument::fromJson(query.value(2).toString().toUtf8()).object();
        message.text = query.value(3).toString();
        message.attempts = query.value(4).toInt();
        const qint64 nextAttemptAt = query.value(5).toLongLong();
        if (nextAttemptAt > 0)
            message.nextAttemptAt = QDateTime::fromMSecsSinceEpoch(nextAttemptAt);
        result.append(message);
    }
    return result;
}

DeliveryReport DBQueueBroker::deliver(const QString &queue, const Handler &handler, Scope scope)
{
    DeliveryReport report;
    if (!isOpen() || !handler)
        return report;
    QSqlDatabase database = QSqlDatabase::database(m_connectionName);
    const bool dueOnly = scope == Scope::DueOnly;
    const QString dueCondition
        = dueOnly ? QStringLiteral(" AND next_attempt_at <= :now") : QString();

    QList<qint64> ids;
    {
        QSqlQuery query
            = prepared(database,
                       QStringLiteral("SELECT id FROM messages WHERE ") + queueCondition(queue)
                           + dueCondition + QStringLiteral(" ORDER BY id"));
        if (!queue.isEmpty())
            query.bindValue(QStringLiteral(":queue"), queue);
        if (dueOnly)
            query.bindValue(QStringLiteral(":now"), now());
        if (!query.exec()) {
            m_errorString = query.lastError().text();
            return report;
        }
        while (query.next())
            ids.append(query.value(0).toLongLong());
    }

    for (const qint64 id : std::as_const(ids)) {
        const Claim claim = claimMessage(database, id, dueOnly, &m_errorString);
        if (!claim.claimed)
            continue;
        const QVariantMap message = QJsonDocument::fromJson(claim.message).object().toVariantMap();
        if (handler(message)) {
            QSqlQuery remove
                = prepared(database, QStringLiteral("DELETE FROM messages WHERE id = ?"));
            remove.addBindValue(id);
            // The message comes back once its claim lapses; its handler must bear that.
            if (!remove.exec())
                reportFailedRemoval(id, remove.lastError().text());
            ++report.delivered;
        } else {
            const int attempts = claim.attempts + 1;
            QSqlQuery release = prepared(database,
                                         QStringLiteral("UPDATE messages SET attempts = ?, "
                                                        "next_attempt_at = ?, claimed_until = 0 "
                                                        "WHERE id = ?"));
            release.addBindValue(attempts);
            release.addBindValue(now() + retryDelay(attempts));
            release.addBindValue(id);
            if (!release.exec())
                m_errorString = release.lastError().text();
            ++report.failed;
        }
    }
    return report;
}

void DBQueueBroker::reportFailedRemoval(qint64 id, const QString &reason)
{
    m_errorString = reason;
    Log4Qt::LogManager::logger(QStringLiteral("DBQueueBroker"))
        ->error(QStringLiteral("Не удалось удалить выполненное сообщение %1 из очереди: %2")
                    .arg(QString::number(id), reason));
}
