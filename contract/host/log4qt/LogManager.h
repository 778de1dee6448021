#pragma once

#include <QString>

namespace Log4Qt {

class Logger;

class LogManager
{
public:
    static Logger *logger(const QString &name, const QString &repository);
};

} // namespace Log4Qt
