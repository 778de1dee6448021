#include "SilencedLog.h"

#include "host/log4qt/LogManager.h"

SilencedLog::SilencedLog(Log4Qt::Level::Value threshold)
    : m_previousThreshold(Log4Qt::LogManager::threshold())
{
    Log4Qt::LogManager::addAppender(this);
    Log4Qt::LogManager::setThreshold(threshold);
}

SilencedLog::~SilencedLog()
{
    Log4Qt::LogManager::setThreshold(m_previousThreshold);
    Log4Qt::LogManager::removeAppender(this);
}

void SilencedLog::append(const Log4Qt::LoggingEvent &)
{
    ++m_lines;
}
