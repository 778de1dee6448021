#include "host/Config.h"

#include "host/HostPaths.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

template<>
Config *Singleton<Config>::instance = nullptr;

namespace {

// The edits that turn one word into the other; small words only, so the table is small too.
int editDistance(const QString &first, const QString &second)
{
    QList<int> previous(second.size() + 1);
    for (qsizetype j = 0; j <= second.size(); ++j)
        previous[j] = int(j);
    for (qsizetype i = 1; i <= first.size(); ++i) {
        QList<int> current(second.size() + 1);
        current[0] = int(i);
        for (qsizetype j = 1; j <= second.size(); ++j) {
            const int replace = previous[j - 1] + (first[i - 1] == second[j - 1] ? 0 : 1);
            current[j] = qMin(replace, qMin(previous[j], current[j - 1]) + 1);
        }
        previous = current;
    }
    return previous.last();
}

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

// "[group] key", or "key outside any section", as a person reads the file.
QString describeKey(const QString &key)
{
    const qsizetype slash = key.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QStringLiteral("'%1' outside any section").arg(key);
    return QStringLiteral("'%1' in [%2]").arg(key.mid(slash + 1), key.left(slash));
}

QString lastSegment(const QString &key)
{
    return key.mid(key.lastIndexOf(QLatin1Char('/')) + 1);
}

// What is wrong with one line, or nothing: a section header without its "]", which spoils the
// whole file, or a line that is neither a section, a key, a comment nor blank, which the ini
// reader skips without a word.
QString lineProblem(const QString &line)
{
    if (line.startsWith(QLatin1Char('[')))
        return line.contains(QLatin1Char(']'))
                   ? QString()
                   : QStringLiteral("section header '%1' lacks its ']'").arg(line);
    const bool meaningful = !line.isEmpty() && !line.startsWith(QLatin1Char(';'))
                            && !line.startsWith(QLatin1Char('#'));
    if (meaningful && !line.contains(QLatin1Char('=')))
        return QStringLiteral("'%1' is no 'key=value' and is skipped").arg(line);
    return QString();
}

QStringList lineProblems(const QString &localPath)
{
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList problems;
    for (int number = 1; !file.atEnd(); ++number) {
        const QString problem = lineProblem(QString::fromUtf8(file.readLine()).trimmed());
        if (!problem.isEmpty())
            problems.append(
                QStringLiteral("%1: line %2: %3").arg(localPath).arg(number).arg(problem));
    }
    return problems;
}

// Why the file at the host path gives nothing, or nothing when it can be read.
QString unusableReason(const QString &localPath, const QSettings &settings)
{
    if (!QFileInfo(localPath).isFile())
        return QStringLiteral("%1 does not exist").arg(localPath);
    if (settings.status() == QSettings::AccessError)
        return QStringLiteral("%1 cannot be read").arg(localPath);
    if (settings.status() == QSettings::FormatError)
        return QStringLiteral("%1 is not a valid ini file: none of its values is used")
            .arg(localPath);
    return QString();
}

} // namespace

bool Config::loadFile(const QString &path, const QString &text)
{
    Q_UNUSED(text)
    m_files.removeAll(path);
    m_valuesByFile.remove(path);
    m_fileProblems.remove(path);

    const QString localPath = HostPaths::resolve(path);
    QSettings settings(localPath, QSettings::IniFormat);
    const QString unusable = unusableReason(localPath, settings);
    QStringList problems = lineProblems(localPath);
    if (!unusable.isEmpty())
        problems.prepend(unusable);
    if (!problems.isEmpty())
        m_fileProblems.insert(path, problems);
    if (!unusable.isEmpty())
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
    const QString given = found.isValid() ? found.toString() : defaultValue;
    noteRead(name, given, fileValue(name));
    return given;
}

int Config::getInt(const QString &name, int defaultValue) const
{
    // Only a missing key gives the default. A value that is not a decimal integer in the range
    // of int reads as 0, as QVariant reads garbage, rather than wrapping around.
    const QVariant found = value(name);
    bool isInteger = false;
    const int number = found.toString().toInt(&isInteger);
    const int given = !found.isValid() ? defaultValue : isInteger ? number : 0;
    noteRead(name, QString::number(given), fileValue(name));
    return given;
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
    const QVariant written = fileValue(name);
    return written.isValid() ? written : m_fallbacks.value(key);
}

QVariant Config::fileValue(const QString &name) const
{
    const QString key = settingsKey(name);
    for (auto file = m_files.crbegin(); file != m_files.crend(); ++file) {
        const QHash<QString, QVariant> &values = m_valuesByFile[*file];
        const auto found = values.constFind(key);
        if (found != values.constEnd())
            return *found;
    }
    return QVariant();
}

void Config::noteRead(const QString &name, const QString &given, const QVariant &written) const
{
    for (Read &read : m_reads) {
        if (read.name == name) {
            read = {name, given, written};
            return;
        }
    }
    m_reads.append({name, given, written});
}

QStringList Config::warnings() const
{
    QStringList paths = m_fileProblems.keys();
    paths.sort();
    QStringList warnings;
    for (const QString &path : std::as_const(paths))
        warnings += m_fileProblems.value(path);
    for (const QString &path : m_files)
        warnings += missingSections(path) + unreadKeys(path);
    return warnings;
}

QStringList Config::missingSections(const QString &path) const
{
    QStringList groups;
    for (const Read &read : m_reads) {
        const QString key = settingsKey(read.name);
        if (key.contains(QLatin1Char('/')))
            groups.append(key.left(key.lastIndexOf(QLatin1Char('/')) + 1));
    }
    groups.removeDuplicates();
    const QStringList keys = m_valuesByFile.value(path).keys();
    QStringList warnings;
    for (const QString &group : std::as_const(groups)) {
        if (!std::any_of(keys.cbegin(), keys.cend(), [&group](const QString &key) {
                return key.startsWith(group);
            }))
            warnings.append(
                QStringLiteral("%1 sets nothing in [%2]: every setting there is its default")
                    .arg(HostPaths::resolve(path), group.chopped(1)));
    }
    return warnings;
}

QStringList Config::unreadKeys(const QString &path) const
{
    QStringList readKeys;
    for (const Read &read : m_reads)
        readKeys.append(settingsKey(read.name));
    QStringList keys = m_valuesByFile.value(path).keys();
    keys.sort();
    QStringList warnings;
    for (const QString &key : std::as_const(keys)) {
        if (readKeys.contains(key))
            continue;
        QString warning = QStringLiteral("%1: %2 is not a setting that is read")
                              .arg(HostPaths::resolve(path), describeKey(key));
        for (const QString &meant : std::as_const(readKeys)) {
            if (editDistance(lastSegment(key).toLower(), lastSegment(meant).toLower()) <= 2) {
                warning += QStringLiteral("; meant %1?").arg(describeKey(meant));
                break;
            }
        }
        warnings.append(warning);
    }
    return warnings;
}
