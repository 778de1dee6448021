#include "ProcessFigures.h"

#include <QDir>
#include <QFile>

namespace {

qint64 residentKibOf(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    // Files of /proc report no size: read until the end rather than up to it.
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        // "VmRSS:	    5120 kB"
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

int openFilesOf(qint64 pid)
{
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(pid));
    if (!descriptors.exists())
        return -1;
    return int(
        descriptors.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

} // namespace

ProcessFigures ProcessFigures::of(qint64 pid)
{
    return {residentKibOf(pid), openFilesOf(pid)};
}
