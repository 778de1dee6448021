#include "host/log4qt/StreamAppender.h"

#include <cstdio>

namespace Log4Qt {

StreamAppender::StreamAppender()
{
    m_file.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
}

StreamAppender::StreamAppender(const QString &filePath)
    : m_file(filePath)
{
    m_file.open(QIODevice::WriteOnly | QIODevice::Append);
}

void StreamAppender::append(const LoggingEvent &event)
{
    // One write per line so that lines from several processes sharing the file stay whole.
    const QByteArray line = (formatLine(event) + QLatin1Char('\n')).toUtf8();
    QMutexLocker locker(&m_mutex);
    if (!m_file.isOpen())
        return;
    m_file.write(line);
    m_file.flush();
}

} // namespace Log4Qt
