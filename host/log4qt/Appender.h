#pragma once

#include "host/log4qt/LoggingEvent.h"

namespace Log4Qt {

class Appender
{
public:
    virtual ~Appender() = default;
    virtual void append(const LoggingEvent &event) = 0;

    // "time level logger message", with control characters of the message escaped so that a
    // scanned text cannot start a line of its own.
    static QString formatLine(const LoggingEvent &event);
    static QString escapeControlCharacters(const QString &text);
};

} // namespace Log4Qt
