#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

namespace zorvikcpqr {

// The plug-in's own note of the orders it is paying: each order's cancellation is written down
// before the order is registered and struck off when the payment returns. An entry whose
// process has died is an order that nobody will finish, so it must be cancelled. One SQLite
// file of the plug-in's own, synced on every change, shared by the till's processes.
class PaymentJournal
{
public:
    static constexpr int Version = 1;

    struct Entry
    {
        QString clientTransaction;
        QJsonObject cancellation; // the queue message that cancels the order; empty if unreadable
    };

    explicit PaymentJournal(const QString &filePath);
    ~PaymentJournal();

    PaymentJournal(const PaymentJournal &) = delete;
    PaymentJournal &operator=(const PaymentJournal &) = delete;

    bool isOpen() const;
    QString filePath() const { return m_filePath; }
    QString errorString() const { return m_errorString; }

    // Each false with the reason in errorString.
    bool record(const QString &clientTransaction, const QJsonObject &cancellation);
    bool remove(const QString &clientTransaction);
    // The entries of processes that have ended, oldest first.
    QList<Entry> abandoned();

private:
    bool open();
    bool prepareTable();
    bool execute(const QString &statement);

    QString m_filePath;
    QString m_connectionName;
    QString m_errorString;
};

} // namespace zorvikcpqr
