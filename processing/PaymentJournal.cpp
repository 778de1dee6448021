#include "processing/PaymentJournal.h"

#include "liveness/ProcessLiveness.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <atomic>
#include <functional>

namespace zorvikcpqr {

namespace {

// How long a change waits for another writer of the file before it fails: the short retry
// after which a payment is reported as not done rather than left half-noted.
constexpr int BusyTimeoutMs = 2000;

QString newConnectionName()
{
    static std::atomic<quint64> counter{0};
    return QStringLiteral("PaymentJournal-%1").arg(++counter);
}

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QString compact(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace

PaymentJournal::PaymentJournal(const QString &filePath)
    : m_filePath(filePath)
    , m_connectionName(newConnectionName())
{
    open();
}

PaymentJournal::~PaymentJournal()
{
    {
        QSqlDatabase database = QSqlDatabase::database(m_connectionName, false);
        database.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool PaymentJournal::isOpen() const
{
    return QSqlDatabase::database(m_connectionName, false).isOpen();
}

bool PaymentJournal::open()
{
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    database.setDatabaseName(m_filePath);
    if (!database.open()) {
        m_errorString = database.lastError().text();
        return false;
    }
    const bool ready
        = execute(QStringLiteral("PRAGMA busy_timeout = %1").arg(BusyTimeoutMs)) && prepareTables();
    if (!ready)
        database.close();
    return ready;
}

// A file of a later version may hold entries this code cannot read, so it is left as it is,
// also its journal mode. An older file gains the tables it lacks; what it holds reads as before.
bool PaymentJournal::prepareTables()
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName));
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        m_errorString = query.lastError().text();
        return false;
    }
    const int version = query.value(0).toInt();
    query.finish();
    if (version > Version) {
        m_errorString = QStringLiteral("версия файла %1 новее поддерживаемой %2")
                            .arg(QString::number(version), QString::number(Version));
        return false;
    }
    if (!useWriteAheadLog())
        return false;
    if (version == Version)
        return true;
    return inTransaction([this] {
        return execute(QStringLiteral("CREATE TABLE IF NOT EXISTS payments ("
                                      "client_transaction TEXT PRIMARY KEY, "
                                      "process TEXT NOT NULL, "
                                      "cancellation TEXT NOT NULL, "
                                      "created_at INTEGER NOT NULL)"))
               && execute(QStringLiteral("CREATE TABLE IF NOT EXISTS returns ("
                                         "operation_id TEXT NOT NULL, "
                                         "amount INTEGER NOT NULL, "
                                         "refund_id TEXT NOT NULL, "
                                         "created_at INTEGER NOT NULL, "
                                         "PRIMARY KEY (operation_id, amount))"))
               && execute(QStringLiteral("CREATE TABLE IF NOT EXISTS settled_returns ("
                                         "refund_id TEXT PRIMARY KEY, "
                                         "operation_id TEXT NOT NULL, "
                                         "amount INTEGER NOT NULL, "
                                         "settled_at INTEGER NOT NULL)"))
               && execute(QStringLiteral("PRAGMA user_version = %1").arg(Version));
    });
}

// A commit appends to the log and syncs it: nothing depends on a file deletion reaching the
// disk, which SQLite's rollback journal does.
bool PaymentJournal::useWriteAheadLog()
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName));
    if (!query.exec(QStringLiteral("PRAGMA journal_mode = WAL")) || !query.next()) {
        m_errorString = query.lastError().text();
        return false;
    }
    if (query.value(0).toString() != QLatin1String("wal")) {
        m_errorString
            = QStringLiteral("режим журнала %1 вместо wal").arg(query.value(0).toString());
        return false;
    }
    query.finish();
    return execute(QStringLiteral("PRAGMA synchronous = FULL"));
}

bool PaymentJournal::execute(const QString &statement)
{
    return exec(statement, {});
}

bool PaymentJournal::exec(const QString &statement, const QVariantList &values)
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName));
    bool done = query.prepare(statement);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (done && query.exec())
        return true;
    m_errorString = query.lastError().text();
    return false;
}

// Takes the write lock at once: a transaction that first reads could not always take it later.
bool PaymentJournal::inTransaction(const std::function<bool()> &work)
{
    if (!isOpen())
        return false;
    if (!execute(QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    if (work() && execute(QStringLiteral("COMMIT")))
        return true;
    const QString reason = m_errorString;
    execute(QStringLiteral("ROLLBACK"));
    m_errorString = reason;
    return false;
}

bool PaymentJournal::notePayment(const ReturnKey &order,
                                 const QString &refundId,
                                 const QJsonObject &message)
{
    return inTransaction([&] {
        return exec(QStringLiteral("INSERT OR REPLACE INTO payments (client_transaction, "
                                   "process, cancellation, created_at) VALUES (?, ?, ?, ?)"),
                    {order.operationId,
                     ProcessLiveness::currentProcessKey(),
                     compact(message),
                     now()})
               && exec(QStringLiteral("INSERT OR REPLACE INTO returns (operation_id, amount, "
                                      "refund_id, created_at) VALUES (?, ?, ?, ?)"),
                       {order.operationId, order.amount, refundId, now()});
    });
}

bool PaymentJournal::settlePayment(const ReturnKey &order, const QString &refundId)
{
    return inTransaction([&] {
        return exec(QStringLiteral("DELETE FROM payments WHERE client_transaction = ?"),
                    {order.operationId})
               && exec(QStringLiteral("DELETE FROM returns WHERE operation_id = ? AND amount = ? "
                                      "AND refund_id = ?"),
                       {order.operationId, order.amount, refundId});
    });
}

bool PaymentJournal::paymentQueued(const ReturnKey &order, const QString &refundId)
{
    return inTransaction([&] {
        return exec(QStringLiteral("DELETE FROM payments WHERE client_transaction = ?"),
                    {order.operationId})
               && (refundId.isEmpty()
                   || exec(QStringLiteral("INSERT OR IGNORE INTO returns (operation_id, amount, "
                                          "refund_id, created_at) SELECT ?, ?, ?, ? WHERE NOT "
                                          "EXISTS (SELECT 1 FROM settled_returns WHERE "
                                          "refund_id = ?)"),
                           {order.operationId, order.amount, refundId, now(), refundId}));
    });
}

std::optional<QList<PaymentJournal::Entry>> PaymentJournal::abandoned()
{
    if (!isOpen())
        return std::nullopt;
    QSqlQuery query(QSqlDatabase::database(m_connectionName));
    if (!query.exec(QStringLiteral("SELECT client_transaction, process, cancellation FROM "
                                   "payments ORDER BY created_at"))) {
        m_errorString = query.lastError().text();
        return std::nullopt;
    }
    QList<Entry> entries;
    while (query.next()) {
        if (ProcessLiveness::isRunning(query.value(1).toString()))
            continue;
        const QString clientTransaction = query.value(0).toString();
        const QJsonDocument cancellation = QJsonDocument::fromJson(query.value(2).toByteArray());
        entries.append({clientTransaction, cancellation.object()});
    }
    return entries;
}

std::optional<QString> PaymentJournal::unsettledRefundId(const ReturnKey &key)
{
    if (!isOpen())
        return std::nullopt;
    QSqlQuery query(QSqlDatabase::database(m_connectionName));
    query.prepare(
        QStringLiteral("SELECT refund_id FROM returns WHERE operation_id = ? AND amount = ?"));
    query.addBindValue(key.operationId);
    query.addBindValue(key.amount);
    if (!query.exec()) {
        m_errorString = query.lastError().text();
        return std::nullopt;
    }
    return query.next() ? query.value(0).toString() : QString();
}

// In one transaction, so that two processes noting the same return at once agree on one id,
// and that a return settled meanwhile is not noted again.
std::optional<PaymentJournal::NotedReturn> PaymentJournal::noteReturn(const ReturnKey &key,
                                                                      const QString &refundId)
{
    std::optional<NotedReturn> noted;
    const bool done = inTransaction([&] {
        QSqlQuery settled(QSqlDatabase::database(m_connectionName));
        settled.prepare(QStringLiteral("SELECT 1 FROM settled_returns WHERE refund_id = ?"));
        settled.addBindValue(refundId);
        if (!settled.exec()) {
            m_errorString = settled.lastError().text();
            return false;
        }
        if (settled.next()) {
            noted = NotedReturn{refundId, false};
            return true;
        }
        QSqlQuery query(QSqlDatabase::database(m_connectionName));
        query.prepare(QStringLiteral(
            "INSERT INTO returns (operation_id, amount, refund_id, created_at) VALUES (?, ?, ?, ?) "
            "ON CONFLICT (operation_id, amount) DO UPDATE SET refund_id = refund_id "
            "RETURNING refund_id"));
        for (const QVariant &value :
             {QVariant(key.operationId), QVariant(key.amount), QVariant(refundId), QVariant(now())})
            query.addBindValue(value);
        if (!query.exec() || !query.next()) {
            m_errorString = query.lastError().text();
            return false;
        }
        const QString kept = query.value(0).toString();
        noted = NotedReturn{kept, kept == refundId};
        return true;
    });
    return done ? noted : std::nullopt;
}

// The id stays known as settled: a queued message of this return, handed over later, goes by
// it without noting it again. A payment whose entry stayed is cancelled by the return under its
// own refund id: once that return is settled the entry is done with too, or the next start would
// queue it again and note the settled id as unsettled, for a later, separate return to borrow.
bool PaymentJournal::settleReturn(const ReturnKey &key, const QString &refundId)
{
    return inTransaction([&] {
        return exec(QStringLiteral("DELETE FROM returns WHERE operation_id = ? AND amount = ? AND "
                                   "refund_id = ?"),
                    {key.operationId, key.amount, refundId})
               && exec(QStringLiteral("DELETE FROM payments WHERE client_transaction = ? AND "
                                      "json_extract(cancellation, '$.refundId') = ?"),
                       {key.operationId, refundId})
               && exec(QStringLiteral("INSERT OR REPLACE INTO settled_returns (refund_id, "
                                      "operation_id, amount, settled_at) VALUES (?, ?, ?, ?)"),
                       {refundId, key.operationId, key.amount, now()});
    });
}

bool PaymentJournal::settleReturnsOf(const QString &operationId)
{
    return isOpen()
           && exec(QStringLiteral("DELETE FROM returns WHERE operation_id = ?"), {operationId});
}

} // namespace zorvikcpqr
