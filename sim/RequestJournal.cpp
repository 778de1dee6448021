#include "sim/RequestJournal.h"

#include <QMutexLocker>

namespace zorviksim {

void RequestJournal::append(const ReceivedRequest &request)
{
    QMutexLocker locker(&m_mutex);
    m_entries.append(request);
}

QList<ReceivedRequest> RequestJournal::entries() const
{
    QMutexLocker locker(&m_mutex);
    return m_entries;
}

} // namespace zorviksim
