#include "host/Config.h"
#include "host/HostPaths.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestHostConfig : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void resolve();
    void read();
    void readingIsKept_data();
    void readingIsKept();

private:
    QString writeIni(const QByteArray &content);

    QTemporaryDir m_dir;
};

QString TestHostConfig::writeIni(const QByteArray &content)
{
    const QString path = m_dir.filePath(QStringLiteral("test.ini"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(content);
    return path;
}

// The environment's root counts only until a root is set, even an empty one; an override wins
// over the root, and a relative path is left alone.
void TestHostConfig::resolve()
{
    qputenv("TRELMO_ROOT", "/srv/till");
    QCOMPARE(HostPaths::resolve("/trelmo/a.ini"), QStringLiteral("/srv/till/trelmo/a.ini"));
    HostPaths::setRoot(QStringLiteral("/tmp/r/"));
    HostPaths::setOverride(QStringLiteral("/trelmo/b.ini"), QStringLiteral("/local/b.ini"));
    QCOMPARE(QStringList({HostPaths::resolve("/trelmo/a.ini"),
                          HostPaths::resolve("a.ini"),
                          HostPaths::resolve("/trelmo/b.ini")}),
             QStringList({"/tmp/r/trelmo/a.ini", "a.ini", "/local/b.ini"}));
    HostPaths::clearOverrides();
    HostPaths::setRoot(QString());
    QCOMPARE(HostPaths::resolve("/trelmo/a.ini"), QStringLiteral("/trelmo/a.ini"));
    qunsetenv("TRELMO_ROOT");
}

// A missing key gives the default; an empty value is a value; a number that is not a whole int
// reads as 0.
void TestHostConfig::read()
{
    Config config;
    QVERIFY(config.loadFile(writeIni("[zorvikcpqr]\nurl=http://127.0.0.1:8080/api/\nempty=\n"
                                     "list=a, b,c\ninterval=-15\ngarbage=12x\nhuge=4294967311\n"),
                            QString()));
    QStringList read;
    for (const char *key : {"url", "nothing", "empty", "list"})
        read.append(config.getString(QLatin1String("zorvikcpqr:") + key, "fallback"));
    for (const char *key : {"interval", "nothing", "garbage", "huge"})
        read.append(QString::number(config.getInt(QLatin1String("zorvikcpqr:") + key, 42)));
    QCOMPARE(read,
             QStringList(
                 {"http://127.0.0.1:8080/api/", "fallback", "", "a,b,c", "-15", "42", "0", "0"}));
}

void TestHostConfig::readingIsKept_data()
{
    // The file (none: it does not exist) and "group:key" names read with getInt; each read as
    // "name=given" ("name=given (written TEXT)" where a file set it), and the warnings ("%file"
    // is the file).
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("reads");
    QTest::addColumn<QStringList>("warnings");

    QTest::newRow("no file") << QByteArray() << QStringList{"z:timeout"}
                             << QStringList{"z:timeout=7"} << QStringList{"%file does not exist"};
    QTest::newRow("garbage, a comment and a blank line")
        << QByteArray("; timeout in seconds\n\n[z]\ntimeout=ten\n") << QStringList{"z:timeout"}
        << QStringList{"z:timeout=0 (written ten)"} << QStringList();
    QTest::newRow("read twice, another section read as well")
        << QByteArray("[z]\ntimeout=3\n[y]\nTimeOuts=4\n")
        << QStringList{"z:timeout", "y:delay", "z:timeout"}
        << QStringList{"z:timeout=3 (written 3)", "y:delay=7"}
        << QStringList{"%file: 'TimeOuts' in [y] is not a setting that is read; meant 'timeout' in "
                       "[z]?"};
}

// What the callers asked for and got, and the mistakes of the file measured against it.
void TestHostConfig::readingIsKept()
{
    QFETCH(QByteArray, content);
    const QString path
        = content.isNull() ? m_dir.filePath(QStringLiteral("none.ini")) : writeIni(content);
    Config config;
    config.loadFile(path, QString());
    QFETCH(QStringList, names);
    for (const QString &name : names)
        config.getInt(name, 7);

    QStringList seen;
    for (const Config::Read &read : config.reads()) {
        seen.append(read.name + QLatin1Char('=') + read.given
                    + (read.written.isValid()
                           ? QStringLiteral(" (written %1)").arg(read.written.toString())
                           : QString()));
    }
    QFETCH(QStringList, reads);
    QCOMPARE(seen, reads);
    QFETCH(QStringList, warnings);
    warnings.replaceInStrings(QStringLiteral("%file"), path);
    QCOMPARE(config.warnings(), warnings);
}

QTEST_GUILESS_MAIN(TestHostConfig)

#include "tst_hostconfig.moc"
