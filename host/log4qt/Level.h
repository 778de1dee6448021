#pragma once

#include <QString>

namespace Log4Qt {

class Level
{
public:
    enum Value { Debug = 0, Info = 1, Warn = 2, Error = 3 };

    static QString name(Value level);
    // Parses "debug", "info", "warn" or "error" (any case); false when the text is none of them.
    static bool fromName(const QString &name, Value *level);
};

} // namespace Log4Qt
