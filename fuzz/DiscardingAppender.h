#pragma once

#include "host/log4qt/Appender.h"

// Formats every line as a real appender would, so that outside text written to the log goes
// through the same escaping, and then drops it: a fuzz run must not flood the terminal.
class DiscardingAppender : public Log4Qt::Appender
{
public:
    void append(const Log4Qt::LoggingEvent &event) override;
};
