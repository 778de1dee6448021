#pragma once

#include <QString>

namespace Log4Qt {

class Logger
{
public:
    void debug(const QString &message) const;
    void info(const QString &message) const;
    void warn(const QString &message) const;
    void error(const QString &message) const;
};

} // namespace Log4Qt
