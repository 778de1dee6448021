#pragma once

#include "host/log4qt/Appender.h"

#include <QFile>
#include <QMutex>

namespace Log4Qt {

// Writes formatted lines to standard error or appends them to a file.
class StreamAppender : public Appender
{
public:
    StreamAppender(); // standard error
    explicit StreamAppender(const QString &filePath);

    bool isOpen() const { return m_file.isOpen(); }
    QString errorString() const { return m_file.errorString(); }

    void append(const LoggingEvent &event) override;

private:
    QMutex m_mutex;
    QFile m_file;
};

} // namespace Log4Qt
