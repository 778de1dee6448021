#include "processing/PaymentJournal.h"

#include "liveness/ProcessLiveness.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <atomic>

namespace zorvikcpqr {

namespace {

QString newConnectionName()
{
    static std::atomic<quint64> counter{0};
    return QStringLiteral("PaymentJournal-%1").arg(++counter);
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
    const bool ready = execute(QStringLiteral("PRAGMA busy_timeout = 5000"))
                       && execute(QStringLiteral("PRAGMA synchronous = FULL")) && prepareTable();
    if (!ready)
        database.close();
    return ready;
}

// A new file gets its table; a file of a later version may hold entries this code cannot read,
// so it is left as it is.
bool PaymentJournal::prepareTable()
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName));
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        m_errorString = query.lastError().text();
        return false;
    }
    const int version = query.value(0).toInt();
    query.finish();
    if (version == Version)
        return true;
    if (version > Version) {
        m_errorString = QStringLiteral("версия файла %1 новее поддерживаемой %2")
                            .arg(QString::number(version), QString::number(Version));
        return false;
    }
    return execute(QStringLiteral("CREATE TABLE IF NOT EXISTS payments ("
                                  "client_transaction TEXT PRIMARY KEY, "
                                  "process TEXT NOT NULL, "
                                  "cancellation TEXT NOT NULL, "
                                  "created_at INTEGER NOT NULL)"))
           && execute(QStringLiteral("PRAGMA user_version = %1").arg(Version));
}

bool PaymentJournal::execute(const QString &statement)
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName));
    if (query.exec(statement))
        return true;
    m_errorString = query.lastError().text();
    return false;
}

bool PaymentJournal::record(const QString &clientTransaction, const QJsonObject &cancellation)
{
    if (!isOpen())
        return false;
    QSqlQuery query(QSqlDatabase::database(m_connectionName));
    query.prepare(QStringLiteral("INSERT OR REPLACE INTO payments (client_transaction, "
                                 "process, cancellation, created_at) VALUES (?, ?, ?, ?)"));
    query.addBindValue(clientTransaction);
    query.addBindValue(ProcessLiveness::currentProcessKey());
    query.addBindValue(
        QString::fromUtf8(QJsonDocument(cancellation).toJson(QJsonDocument::Compact)));
    query.addBindValue(QDateTime::currentMSecsSinceEpoch());
    if (query.exec())
        return true;
    m_errorString = query.lastError().text();
    return false;
}

bool PaymentJournal::remove(const QString &clientTransaction)
{
    if (!isOpen())
        return false;
    QSqlQuery query(QSqlDatabase::database(m_connectionName));
    query.prepare(QStringLiteral("DELETE FROM payments WHERE client_transaction = ?"));
    query.addBindValue(clientTransaction);
    if (query.exec())
        return true;
    m_errorString = query.lastError().text();
    return false;
}

QList<PaymentJournal::Entry> PaymentJournal::abandoned()
{
    QList<Entry> entries;
    if (!isOpen())
        return entries;
    QSqlQuery query(QSqlDatabase::database(m_connectionName));
    if (!query.exec(QStringLiteral("SELECT client_transaction, process, cancellation FROM "
                                   "payments ORDER BY created_at"))) {
        m_errorString = query.lastError().text();
        return entries;
    }
    while (query.next()) {
        if (ProcessLiveness::isRunning(query.value(1).toString()))
            continue;
        const QString clientTransaction = query.value(0).toString();
        const QJsonDocument cancellation = QJsonDocument::fromJson(query.value(2).toByteArray());
        entries.append({clientTransaction, cancellation.object()});
    }
    return entries;
}

} // namespace zorvikcpqr
