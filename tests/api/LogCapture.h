#pragma once

#include "host/log4qt/LogManager.h"
#include "host/log4qt/MemoryAppender.h"

// Collects every line logged while it lives, debug lines included: "LEVEL message".
class LogCapture : public Log4Qt::MemoryAppender
{
public:
    LogCapture()
    {
        Log4Qt::LogManager::setThreshold(Log4Qt::Level::Debug);
        Log4Qt::LogManager::addAppender(this);
    }
    ~LogCapture() override { Log4Qt::LogManager::removeAppender(this); }
};
