#pragma once

#include "sim/ReceivedRequest.h"

#include <QList>
#include <QMutex>

namespace zorviksim {

// Every request the simulator received, in the order of arrival.
class RequestJournal
{
public:
    void append(const ReceivedRequest &request);
    QList<ReceivedRequest> entries() const;

private:
    mutable QMutex m_mutex;
    QList<ReceivedRequest> m_entries;
};

} // namespace zorviksim
