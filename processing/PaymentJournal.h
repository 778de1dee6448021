#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace zorvikcpqr {

// The plug-in's durable record of the money it has in flight, shared by every process of the
// till machine through one SQLite file of the plug-in's own:
// - payments: each order's cancellation is written down before the order is registered and
//   struck off when the order needs nothing more or its cancellation is in the queue; an entry
//   whose process has died is an order that nobody will finish, so it must be cancelled;
// - returns: every return whose outcome is unknown or that waits in the queue, by order and
//   amount, with the refund id that every attempt at it sends, whichever process asks;
// - settled returns: the refund id of every return the service has decided, so that a queued
//   message of it, whenever the queue hands it over, never notes that id again for a later,
//   separate return to borrow.
// A commit is durable when it returns: the file runs in WAL mode with synchronous=FULL, so no
// commit depends on a file deletion that a power cut may undo.
class PaymentJournal
{
public:
    static constexpr int Version = 3;

    struct Entry
    {
        QString clientTransaction;
        QJsonObject cancellation; // the queue message that cancels the order; empty if unreadable
    };

    // A return, by the order it returns and its amount in kopecks.
    struct ReturnKey
    {
        QString operationId;
        qint64 amount = 0;
    };

    // The refund id a return goes by, and whether noting the return wrote it down.
    struct NotedReturn
    {
        QString refundId;
        bool notedNow = false;
    };

    explicit PaymentJournal(const QString &filePath);
    ~PaymentJournal();

    PaymentJournal(const PaymentJournal &) = delete;
    PaymentJournal &operator=(const PaymentJournal &) = delete;

    bool isOpen() const;
    QString filePath() const { return m_filePath; }
    QString errorString() const { return m_errorString; }

    // Each false or nullopt with the reason in errorString.

    // Notes a payment about to be registered, and the return that would cancel it.
    bool notePayment(const ReturnKey &order, const QString &refundId, const QJsonObject &message);
    // The payment needs nothing more: both its notes go.
    bool settlePayment(const ReturnKey &order, const QString &refundId);
    // The payment's cancellation is stored in the queue: the payment goes, its return stays
    // unsettled until the queue has carried it out (unless another process settled it first,
    // returning the order under the same id).
    bool paymentQueued(const ReturnKey &order, const QString &refundId);
    // The entries of processes that have ended, oldest first.
    std::optional<QList<Entry>> abandoned();

    // The refund id of the unsettled return of that order and amount; empty if there is none.
    std::optional<QString> unsettledRefundId(const ReturnKey &key);
    // Notes the return under that refund id, unless one of the same order and amount is
    // unsettled already (the return goes by its id) or that id was settled already (the return
    // goes by it, noted nowhere: the service answers it as the return it decided).
    std::optional<NotedReturn> noteReturn(const ReturnKey &key, const QString &refundId);
    // The service has decided the return, or it is no longer wanted; its id stays settled.
    bool settleReturn(const ReturnKey &key, const QString &refundId);
    // The order needs no return at all (it ended unpaid): every return of it goes.
    bool settleReturnsOf(const QString &operationId);

private:
    bool open();
    bool prepareTables();
    bool useWriteAheadLog();
    bool execute(const QString &statement);
    bool exec(const QString &statement, const QVariantList &values);
    bool inTransaction(const std::function<bool()> &work);

    QString m_filePath;
    QString m_connectionName;
    QString m_errorString;
};

} // namespace zorvikcpqr
