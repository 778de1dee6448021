#include "host/log4qt/LogManager.h"

#include "host/log4qt/Logger.h"
#include "host/log4qt/StreamAppender.h"

#include <QHash>
#include <QList>
#include <QMutex>

#include <atomic>
#include <memory>

namespace Log4Qt {

namespace {

// Loggers are used from the payment thread and the thread that interrupts it at the same time.
struct Registry
{
    QMutex mutex;
    std::atomic<Level::Value> threshold{Level::Info};
    QHash<QString, std::shared_ptr<Logger>> loggers;
    QList<Appender *> appenders;
};

// Never destroyed: static objects may still log while the process exits, and appenders that
// live as long as the process stay registered, not lost with a destroyed list.
Registry &registry()
{
    static Registry &instance = *new Registry;
    return instance;
}

Appender &standardErrorAppender()
{
    static StreamAppender appender;
    return appender;
}

} // namespace

Logger *LogManager::logger(const QString &name, const QString &repository)
{
    Q_UNUSED(repository)
    Registry &r = registry();
    QMutexLocker locker(&r.mutex);
    std::shared_ptr<Logger> &logger = r.loggers[name];
    if (!logger)
        logger = std::make_shared<Logger>(name);
    return logger.get();
}

void LogManager::setThreshold(Level::Value level)
{
    registry().threshold = level;
}

Level::Value LogManager::threshold()
{
    return registry().threshold;
}

void LogManager::addAppender(Appender *appender)
{
    Registry &r = registry();
    QMutexLocker locker(&r.mutex);
    if (appender && !r.appenders.contains(appender))
        r.appenders.append(appender);
}

void LogManager::removeAppender(Appender *appender)
{
    Registry &r = registry();
    QMutexLocker locker(&r.mutex);
    r.appenders.removeAll(appender);
}

void LogManager::dispatch(const LoggingEvent &event)
{
    // Appending under the lock means that once removeAppender returns, no thread is still
    // writing to the removed appender and it may be deleted.
    Registry &r = registry();
    QMutexLocker locker(&r.mutex);
    if (r.appenders.isEmpty()) {
        standardErrorAppender().append(event);
        return;
    }
    for (Appender *appender : std::as_const(r.appenders))
        appender->append(event);
}

} // namespace Log4Qt
