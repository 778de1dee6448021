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

QTEST_GUILESS_MAIN(TestHostConfig)

#include "tst_hostconfig.moc"
