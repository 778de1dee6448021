#pragma once

#include "host/log4qt/Level.h"
#include "host/log4qt/MemoryAppender.h"

#include <QStringList>

// Collects every line logged while it lives, debug lines included.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();

    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    // "LEVEL message" for each line of that logger, in order.
    QStringList lines(const QString &loggerName = QStringLiteral("zorvikcpqr")) const;
    void clear() { m_appender.clear(); }

private:
    Log4Qt::MemoryAppender m_appender;
    Log4Qt::Level::Value m_previousThreshold;
};
