#pragma once

#include "host/Singleton.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

// The host's configuration: ini files whose values are addressed as "group:key". A missing
// file or key gives the caller's default, never an error.
class Config
{
public:
    // Reads the ini file at the host path (see HostPaths). The text is the host's description
    // of the file and is not used. Loading a file again replaces what it gave before.
    bool loadFile(const QString &path, const QString &text);

    QString getString(const QString &name, const QString &defaultValue = QString()) const;
    int getInt(const QString &name, int defaultValue = 0) const;

    // Values the host sets itself (zorvik-till's command line): an override wins over every
    // file, a fallback counts only where no file sets the key.
    void setOverride(const QString &name, const QVariant &value);
    void setFallback(const QString &name, const QVariant &value);

private:
    QVariant value(const QString &name) const;

    // In load order; a later file wins for a key that both set.
    QStringList m_files;
    QHash<QString, QHash<QString, QVariant>> m_valuesByFile;
    QHash<QString, QVariant> m_overrides;
    QHash<QString, QVariant> m_fallbacks;
};

template<>
Config *Singleton<Config>::instance;
