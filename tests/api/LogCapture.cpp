#include "LogCapture.h"

#include "host/log4qt/LogManager.h"

LogCapture::LogCapture()
    : m_previousThreshold(Log4Qt::LogManager::threshold())
{
    Log4Qt::LogManager::setThreshold(Log4Qt::Level::Debug);
    Log4Qt::LogManager::addAppender(&m_appender);
}

LogCapture::~LogCapture()
{
    Log4Qt::LogManager::removeAppender(&m_appender);
    Log4Qt::LogManager::setThreshold(m_previousThreshold);
}

QStringList LogCapture::lines(const QString &loggerName) const
{
    QStringList lines;
    const QList<Log4Qt::LoggingEvent> events = m_appender.events();
    for (const Log4Qt::LoggingEvent &event : events) {
        if (event.loggerName == loggerName)
            lines.append(Log4Qt::Level::name(event.level) + QLatin1Char(' ') + event.message);
    }
    return lines;
}
