#include "host/log4qt/MemoryAppender.h"

namespace Log4Qt {

void MemoryAppender::append(const LoggingEvent &event)
{
    QMutexLocker locker(&m_mutex);
    m_events.append(event);
}

QList<LoggingEvent> MemoryAppender::events() const
{
    QMutexLocker locker(&m_mutex);
    return m_events;
}

QStringList MemoryAppender::lines() const
{
    QMutexLocker locker(&m_mutex);
    QStringList lines;
    lines.reserve(m_events.size());
    for (const LoggingEvent &event : m_events)
        lines.append(Level::name(event.level) + QLatin1Char(' ') + event.message);
    return lines;
}

void MemoryAppender::clear()
{
    QMutexLocker locker(&m_mutex);
    m_events.clear();
}

} // namespace Log4Qt
