#pragma once

#include "host/log4qt/Level.h"

#include <QString>

namespace Log4Qt {

class Appender;
class Logger;
struct LoggingEvent;

// Process-wide loggers, threshold and appenders. Without an appender, lines go to standard
// error at the default threshold (info).
class LogManager
{
public:
    // The logger of that name; the same object for the same name, owned by the manager.
    static Logger *logger(const QString &name, const QString &repository = QString());

    static void setThreshold(Level::Value level);
    static Level::Value threshold();

    // The manager does not own appenders; remove an appender before deleting it.
    static void addAppender(Appender *appender);
    static void removeAppender(Appender *appender);

    static void dispatch(const LoggingEvent &event);
};

} // namespace Log4Qt
