#pragma once

#include "host/log4qt/Level.h"

#include <QDateTime>
#include <QString>

namespace Log4Qt {

struct LoggingEvent
{
    QDateTime time;
    Level::Value level = Level::Info;
    QString loggerName;
    QString message;
};

} // namespace Log4Qt
