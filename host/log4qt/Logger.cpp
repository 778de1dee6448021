#include "host/log4qt/Logger.h"

#include "host/log4qt/LogManager.h"
#include "host/log4qt/LoggingEvent.h"

namespace Log4Qt {

Logger::Logger(const QString &name)
    : m_name(name)
{}

void Logger::log(Level::Value level, const QString &message) const
{
    if (level < LogManager::threshold())
        return;
    LogManager::dispatch({QDateTime::currentDateTime(), level, m_name, message});
}

} // namespace Log4Qt
