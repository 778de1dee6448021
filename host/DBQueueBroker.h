#pragma once

#include "host/DeliveryReport.h"
#include "host/QueuedMessage.h"
#include "host/Singleton.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <functional>

class QSqlDatabase;

// The host's persistent message queue: one SQLite file (WAL), one row per message, kept until
// a handler has taken it. Several processes may share the file; a message is handed to one
// handler at a time. A message whose handler's process died, or whose removal failed after
// its handler took it, is handed over again: handlers must bear a repetition.
class DBQueueBroker
{
public:
    // Takes a stored message as a map ("request" and other objects as nested maps); true when
    // it was carried out and may be deleted.
    using Handler = std::function<bool(const QVariantMap &message)>;
    enum class Scope { DueOnly, All };

    DBQueueBroker(); // the file at defaultDatabasePath(), its folder created when missing
    // The folder of the file must exist: a mistyped path is an error, not a new empty queue.
    explicit DBQueueBroker(const QString &databasePath);
    ~DBQueueBroker();

    DBQueueBroker(const DBQueueBroker &) = delete;
    DBQueueBroker &operator=(const DBQueueBroker &) = delete;

    static QString defaultDatabasePath();

    bool isOpen() const;
    QString databasePath() const { return m_databasePath; }
    QString errorString() const { return m_errorString; }

    // Stores the message; false when it could not be stored (the reason in errorString).
    bool enqueue(const QString &queue, const QJsonObject &message, const QString &text);

    // Every stored message of the queue (all queues for an empty name), oldest first; none, with
    // the reason in *errorMessage when given, when the queue cannot be read.
    QList<QueuedMessage> messages(const QString &queue = QString(),
                                  QString *errorMessage = nullptr) const;

    // Hands the queue's messages, oldest first, to the handler: those it takes are deleted,
    // the others stay with one more attempt counted and a later due time (back-off). DueOnly
    // skips messages whose due time has not come; All hands over every message. Errors of the
    // queue met on the way are in the report, not in errorString().
    DeliveryReport
    deliver(const QString &queue, const Handler &handler, Scope scope = Scope::DueOnly);

private:
    bool open();
    bool addClaimHolder(QSqlDatabase &database);
    void reportFailedRemoval(qint64 id, const QString &reason, DeliveryReport *report);
    void release(qint64 id, int attempts, DeliveryReport *report);

    QString m_databasePath;
    QString m_connectionName;
    mutable QString m_errorString;
};

template<>
DBQueueBroker *Singleton<DBQueueBroker>::instance;
