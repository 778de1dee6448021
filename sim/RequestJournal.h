#pragma once

#include "sim/ReceivedRequest.h"
#include "sim/ServiceReply.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMutex>

#include <optional>

namespace zorviksim {

// The latest requests the simulator received, in the order of arrival, with how each was
// answered and the order it concerns. It keeps a bounded number, so that a sandbox running for
// days keeps its memory. Every request gets a number that stays its own, across clear() too.
class RequestJournal
{
public:
    static constexpr qsizetype Capacity = 1000;
    // Of a body shown on demand; the rest is counted, not shown.
    static constexpr qsizetype ShownBodyBytes = 64 * 1024;

    void append(const ReceivedRequest &request, const ServiceReply &reply);
    void clear();
    qsizetype size() const;
    QList<ReceivedRequest> entries() const;
    // The latest ones, newest first, only those of the order when it is not empty: "id", "at",
    // "method", "target" (path and query), "order", "status" (0: no answer) and "fault", the
    // fault words that spoilt the answer if any.
    QJsonArray latest(qsizetype count, const QString &order = {}) const;
    // The request of that number as latest() lists it, with its headers ("api-key" and
    // "user-token" masked) and both bodies; nothing when it is no longer kept.
    std::optional<QJsonObject> details(qint64 id) const;

private:
    struct Entry
    {
        qint64 id;
        ReceivedRequest request;
        QDateTime receivedAt;
        ServiceReply reply;
        QString order;
    };

    static QJsonObject summary(const Entry &entry);

    mutable QMutex m_mutex;
    QList<Entry> m_entries;
    qint64 m_lastId = 0;
};

} // namespace zorviksim
