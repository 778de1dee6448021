#pragma once

#include "sim/ReceivedRequest.h"
#include "sim/ServiceReply.h"

#include <QJsonArray>
#include <QList>
#include <QMutex>
#include <QTime>

namespace zorviksim {

// The latest requests the simulator received, in the order of arrival, with how each was
// answered. It keeps a bounded number, so that a sandbox running for days keeps its memory.
class RequestJournal
{
public:
    static constexpr qsizetype Capacity = 1000;

    void append(const ReceivedRequest &request, const ServiceReply &reply);
    QList<ReceivedRequest> entries() const;
    // The latest ones, newest first: "time", "method", "path", "status" (0: no answer) and
    // "fault", the fault that spoilt the answer if any.
    QJsonArray latest(qsizetype count) const;

private:
    struct Entry
    {
        ReceivedRequest request;
        QTime receivedAt;
        int httpStatus;
        QString fault;
    };

    mutable QMutex m_mutex;
    QList<Entry> m_entries;
};

} // namespace zorviksim
