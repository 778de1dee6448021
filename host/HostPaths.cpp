#include "host/HostPaths.h"

#include <QDir>
#include <QHash>
#include <QMutex>

#include <optional>

namespace {

struct PathMapping
{
    QMutex mutex;
    std::optional<QString> root; // unset: the environment decides
    QHash<QString, QString> overrides;
};

PathMapping &mapping()
{
    static PathMapping instance;
    return instance;
}

} // namespace

QString HostPaths::resolve(const QString &hostPath)
{
    PathMapping &m = mapping();
    QMutexLocker locker(&m.mutex);
    const auto override = m.overrides.constFind(hostPath);
    if (override != m.overrides.constEnd())
        return *override;
    const QString root = m.root ? *m.root : qEnvironmentVariable("TRELMO_ROOT");
    if (root.isEmpty() || !QDir::isAbsolutePath(hostPath))
        return hostPath;
    return QDir::cleanPath(root + QLatin1Char('/') + hostPath);
}

void HostPaths::setRoot(const QString &root)
{
    PathMapping &m = mapping();
    QMutexLocker locker(&m.mutex);
    m.root = root;
}

void HostPaths::setOverride(const QString &hostPath, const QString &localPath)
{
    PathMapping &m = mapping();
    QMutexLocker locker(&m.mutex);
    m.overrides.insert(hostPath, localPath);
}

void HostPaths::clearOverrides()
{
    PathMapping &m = mapping();
    QMutexLocker locker(&m.mutex);
    m.overrides.clear();
}
