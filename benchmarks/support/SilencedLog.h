#pragma once

#include "host/log4qt/Appender.h"
#include "host/log4qt/Level.h"

#include <atomic>

// Keeps logging out of the figures: the threshold drops lines as a till configured for errors
// drops them, and what passes reaches this appender, which only counts it, so that nothing is
// written to the terminal. Restores the previous threshold when it goes.
class SilencedLog : public Log4Qt::Appender
{
public:
    explicit SilencedLog(Log4Qt::Level::Value threshold = Log4Qt::Level::Error);
    ~SilencedLog() override;

    SilencedLog(const SilencedLog &) = delete;
    SilencedLog &operator=(const SilencedLog &) = delete;

    void append(const Log4Qt::LoggingEvent &event) override;

    // Lines that passed the threshold since construction.
    qint64 lines() const { return m_lines; }

private:
    Log4Qt::Level::Value m_previousThreshold;
    std::atomic<qint64> m_lines{0};
};
