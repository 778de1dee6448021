#pragma once

#include "host/log4qt/Level.h"

#include <QString>

namespace Log4Qt {

class Logger
{
public:
    explicit Logger(const QString &name);

    const QString &name() const { return m_name; }

    void debug(const QString &message) const { log(Level::Debug, message); }
    void info(const QString &message) const { log(Level::Info, message); }
    void warn(const QString &message) const { log(Level::Warn, message); }
    void error(const QString &message) const { log(Level::Error, message); }

    void log(Level::Value level, const QString &message) const;

private:
    QString m_name;
};

} // namespace Log4Qt
