#include "host/Config.h"

#include "host/HostPaths.h"

#include <QFileInfo>
#include <QSettings>

template<>
Config *Singleton<Config>::instance = nullptr;

namespace {

// QSettings splits an unquoted value at its commas; the configuration knows only texts, so a
// list is put back together. Blanks that followed the commas are lost: values with commas
// belong in double quotes.
QVariant plainValue(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value;
}

// "group:key" is the key in the ini section [group]; a bare "key" is one outside any section.
QString settingsKey(const QString &name)
{
    QString key = name;
    return key.replace(QLatin1Char(':'), QLatin1Char('/'));
}

} // namespace

bool Config::loadFile(const QString &path, const QString &text)
{
    Q_UNUSED(text)
    m_files.removeAll(path);
    m_valuesByFile.remove(path);

    const QString localPath = HostPaths::resolve(path);
    if (!QFileInfo(localPath).isFile())
        return false;

    QSettings settings(localPath, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return false;

    QHash<QString, QVariant> values;
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys)
        values.insert(key, plainValue(settings.value(key)));
    m_files.append(path);
    m_valuesByFile.insert(path, values);
    return true;
}

QString Config::getString(const QString &name, const QString &defaultValue) const
{
    const QVariant found = value(name);
    return found.isValid() ? found.toString() : defaultValue;
}

int Config::getInt(const QString &name, int defaultValue) const
{
    // Only a missing key gives the default. A value that is not a decimal integer in the range
    // of int reads as 0, as QVariant reads garbage, rather than wrapping around.
    const QVariant found = value(name);
    if (!found.isValid())
        return defaultValue;
    bool isInteger = false;
    const int number = found.toString().toInt(&isInteger);
    return isInteger ? number : 0;
}

void Config::setOverride(const QString &name, const QVariant &value)
{
    m_overrides.insert(settingsKey(name), value);
}

void Config::setFallback(const QString &name, const QVariant &value)
{
    m_fallbacks.insert(settingsKey(name), value);
}

QVariant Config::value(const QString &name) const
{
    const QString key = settingsKey(name);
    if (m_overrides.contains(key))
        return m_overrides.value(key);
    for (auto file = m_files.crbegin(); file != m_files.crend(); ++file) {
        const QHash<QString, QVariant> &values = m_valuesByFile[*file];
        const auto found = values.constFind(key);
        if (found != values.constEnd())
            return *found;
    }
    return m_fallbacks.value(key);
}
