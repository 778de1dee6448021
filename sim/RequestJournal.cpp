#include "sim/RequestJournal.h"

#include <QJsonObject>
#include <QMutexLocker>

namespace zorviksim {

namespace {

// "droppedConnection", "slow", "html500, slow" or nothing.
QString faultText(const ServiceReply &reply)
{
    QStringList faults;
    if (reply.fault())
        faults.append(answerFaultName(*reply.fault()));
    if (reply.delay().count() > 0)
        faults.append(QStringLiteral("slow"));
    return faults.join(QStringLiteral(", "));
}

} // namespace

void RequestJournal::append(const ReceivedRequest &request, const ServiceReply &reply)
{
    Entry entry{request,
                QTime::currentTime(),
                reply.dropsConnection() ? 0 : reply.httpStatus(),
                faultText(reply)};
    QMutexLocker locker(&m_mutex);
    if (m_entries.size() == Capacity)
        m_entries.removeFirst();
    m_entries.append(std::move(entry));
}

QList<ReceivedRequest> RequestJournal::entries() const
{
    QMutexLocker locker(&m_mutex);
    QList<ReceivedRequest> requests;
    requests.reserve(m_entries.size());
    for (const Entry &entry : m_entries)
        requests.append(entry.request);
    return requests;
}

QJsonArray RequestJournal::latest(qsizetype count) const
{
    QMutexLocker locker(&m_mutex);
    QJsonArray json;
    for (auto entry = m_entries.crbegin(); entry != m_entries.crend() && json.size() < count;
         ++entry) {
        json.append(QJsonObject{
            {QStringLiteral("time"), entry->receivedAt.toString(QStringLiteral("HH:mm:ss"))},
            {QStringLiteral("method"), entry->request.method},
            {QStringLiteral("path"), entry->request.path},
            {QStringLiteral("status"), entry->httpStatus},
            {QStringLiteral("fault"), entry->fault},
        });
    }
    return json;
}

} // namespace zorviksim
