#include "host/log4qt/Level.h"

namespace Log4Qt {

namespace {

constexpr Level::Value allLevels[] = {Level::Debug, Level::Info, Level::Warn, Level::Error};

} // namespace

QString Level::name(Value level)
{
    switch (level) {
    case Debug:
        return QStringLiteral("DEBUG");
    case Info:
        return QStringLiteral("INFO");
    case Warn:
        return QStringLiteral("WARN");
    case Error:
        return QStringLiteral("ERROR");
    }
    return QString();
}

bool Level::fromName(const QString &name, Value *level)
{
    for (const Value candidate : allLevels) {
        if (name.compare(Level::name(candidate), Qt::CaseInsensitive) == 0) {
            if (level)
                *level = candidate;
            return true;
        }
    }
    return false;
}

} // namespace Log4Qt
