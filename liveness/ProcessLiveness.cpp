#include "liveness/ProcessLiveness.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace ProcessLiveness {

namespace {

QString bootId()
{
    QFile file(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll().trimmed())
                                          : QString();
}

// The 22nd field of the process's stat line, in clock ticks after the boot. The name in the
// second field may hold blanks and parentheses, so fields are counted after its last ")".
QString startTime(qint64 processId)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(processId));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray stat = file.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 19 ? QString::fromLatin1(fields.at(19)) : QString();
}

QString keyOf(qint64 processId)
{
    return bootId() + QLatin1Char('/') + QString::number(processId) + QLatin1Char('/')
           + startTime(processId);
}

// True while the process exists (also when it belongs to another user); false for ids that
// name no process, 0 included.
bool exists(qint64 processId)
{
    if (processId <= 0 || processId != qint64(pid_t(processId)))
        return false;
    return ::kill(pid_t(processId), 0) == 0 || errno == EPERM;
}

} // namespace

QString currentProcessKey()
{
    return keyOf(::getpid());
}

bool isRunning(const QString &processKey)
{
    const qint64 processId = processKey.section(QLatin1Char('/'), 1, 1).toLongLong();
    return exists(processId) && keyOf(processId) == processKey;
}

} // namespace ProcessLiveness
