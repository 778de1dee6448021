#pragma once

#include <QString>

// Maps the host's fixed absolute paths onto this machine. A till or a test may stand a file of
// its own in for one host path, or prepend a root directory (the environment variable
// TRELMO_ROOT, or setRoot) to every absolute host path.
class HostPaths
{
public:
    static QString resolve(const QString &hostPath);

    static void setRoot(const QString &root);
    static void setOverride(const QString &hostPath, const QString &localPath);
    static void clearOverrides();
};
