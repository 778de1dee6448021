#pragma once

#include "host/log4qt/Appender.h"

#include <QList>
#include <QMutex>
#include <QStringList>

namespace Log4Qt {

// Keeps every event in memory, for tests that check what was logged.
class MemoryAppender : public Appender
{
public:
    void append(const LoggingEvent &event) override;

    QList<LoggingEvent> events() const;
    // "LEVEL message" for every event, in order.
    QStringList lines() const;
    void clear();

private:
    mutable QMutex m_mutex;
    QList<LoggingEvent> m_events;
};

} // namespace Log4Qt
