#pragma once

#include "host/Singleton.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// The host's configuration: ini files whose values are addressed as "group:key". A missing
// file or key gives the caller's default, never an error. For support, it keeps what its
// callers asked for and got, and tells the mistakes of its files that made them get a default.
class Config
{
public:
    // One value handed to a caller.
    struct Read
    {
        QString name;     // as asked for: "group:key"
        QString given;    // what the caller got
        QVariant written; // as the file has it; invalid when no file sets it
    };

    // Reads the ini file at the host path (see HostPaths). The text is the host's description
    // of the file and is not used. Loading a file again replaces what it gave before. A file
    // that is missing, unreadable or not a valid ini file gives nothing.
    bool loadFile(const QString &path, const QString &text);

    QString getString(const QString &name, const QString &defaultValue = QString()) const;
    int getInt(const QString &name, int defaultValue = 0) const;

    // Values the host sets itself (zorvik-till's command line): an override wins over every
    // file, a fallback counts only where no file sets the key.
    void setOverride(const QString &name, const QVariant &value);
    void setFallback(const QString &name, const QVariant &value);

    // Every name asked for so far, in the order first asked, with its latest answer.
    QList<Read> reads() const { return m_reads; }
    // The mistakes of the files asked for, judged against the names read so far: a file that
    // gave nothing (and why), a line skipped, a section that is read but missing, a key that
    // nobody read (with the name it was probably meant to be).
    QStringList warnings() const;

private:
    QVariant value(const QString &name) const;
    QVariant fileValue(const QString &name) const; // invalid when no file sets it
    void noteRead(const QString &name, const QString &given, const QVariant &written) const;
    QStringList unreadKeys(const QString &path) const;
    QStringList missingSections(const QString &path) const;

    // In load order; a later file wins for a key that both set.
    QStringList m_files;
    QHash<QString, QHash<QString, QVariant>> m_valuesByFile;
    QHash<QString, QVariant> m_overrides;
    QHash<QString, QVariant> m_fallbacks;
    // Files asked for with what is wrong with them: why one gave nothing, the lines skipped.
    QHash<QString, QStringList> m_fileProblems;
    mutable QList<Read> m_reads;
};

template<>
Config *Singleton<Config>::instance;
