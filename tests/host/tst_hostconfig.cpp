#include "host/Config.h"
#include "host/HostPaths.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestHostConfig : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void environmentRootWhileNoRootIsSet();
    void resolve_data();
    void resolve();
    void read_data();
    void read();
    void reloadReplacesValuesAndMissingFileGivesDefaults();
    void cleanup();

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

void TestHostConfig::cleanup()
{
    HostPaths::clearOverrides();
    HostPaths::setRoot(QString());
}

// Must run before any test calls setRoot: from then on the environment no longer counts.
void TestHostConfig::environmentRootWhileNoRootIsSet()
{
    qputenv("TRELMO_ROOT", "/srv/till");
    QCOMPARE(HostPaths::resolve("/trelmo/cash/x.ini"),
             QStringLiteral("/srv/till/trelmo/cash/x.ini"));
    HostPaths::setRoot(QString());
    QCOMPARE(HostPaths::resolve("/trelmo/cash/x.ini"), QStringLiteral("/trelmo/cash/x.ini"));
    qunsetenv("TRELMO_ROOT");
}

void TestHostConfig::resolve_data()
{
    QTest::addColumn<QString>("hostPath");
    QTest::addColumn<QString>("expected");

    QTest::newRow("root prepended") << "/trelmo/a.ini"
                                    << "/tmp/r/trelmo/a.ini";
    QTest::newRow("relative path kept") << "a.ini"
                                        << "a.ini";
    QTest::newRow("override wins over root") << "/trelmo/b.ini"
                                             << "/local/b.ini";
}

void TestHostConfig::resolve()
{
    HostPaths::setRoot(QStringLiteral("/tmp/r/"));
    HostPaths::setOverride(QStringLiteral("/trelmo/b.ini"), QStringLiteral("/local/b.ini"));
    QFETCH(QString, hostPath);
    QTEST(HostPaths::resolve(hostPath), "expected");
}

// An int expectation reads the key with getInt and the default 42, a text one with getString
// and the default "fallback".
void TestHostConfig::read_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("group:key") << "zorvikcpqr:url" << QVariant("http://127.0.0.1:8080/api/");
    QTest::newRow("missing key") << "zorvikcpqr:nothing" << QVariant("fallback");
    QTest::newRow("empty value is a value") << "zorvikcpqr:empty" << QVariant("");
    QTest::newRow("unquoted commas lose blanks") << "zorvikcpqr:list" << QVariant("a,b,c");
    QTest::newRow("integer") << "zorvikcpqr:interval" << QVariant(-15);
    QTest::newRow("missing integer") << "zorvikcpqr:nothing" << QVariant(42);
    QTest::newRow("not an integer") << "zorvikcpqr:garbage" << QVariant(0);
    QTest::newRow("beyond int") << "zorvikcpqr:huge" << QVariant(0);
}

void TestHostConfig::read()
{
    QFETCH(QString, name);
    QFETCH(QVariant, expected);

    Config config;
    QVERIFY(config.loadFile(writeIni("[zorvikcpqr]\nurl=http://127.0.0.1:8080/api/\nempty=\n"
                                     "list=a, b,c\ninterval=-15\ngarbage=12x\nhuge=4294967311\n"),
                            QString()));
    if (expected.typeId() == QMetaType::Int)
        QCOMPARE(config.getInt(name, 42), expected.toInt());
    else
        QCOMPARE(config.getString(name, QStringLiteral("fallback")), expected.toString());
}

void TestHostConfig::reloadReplacesValuesAndMissingFileGivesDefaults()
{
    const QString hostPath = QStringLiteral("/trelmo/cash/paysystems/test/test.ini");
    HostPaths::setOverride(hostPath, writeIni("[g]\na=1\nb=2\n"));
    Config config;
    QVERIFY(config.loadFile(hostPath, QString()));
    QCOMPARE(config.getInt(QStringLiteral("g:b"), 0), 2);

    writeIni("[g]\na=5\n");
    QVERIFY(config.loadFile(hostPath, QString()));
    QCOMPARE(config.getInt(QStringLiteral("g:a"), 0), 5);
    QCOMPARE(config.getInt(QStringLiteral("g:b"), -1), -1);

    QFile::remove(m_dir.filePath(QStringLiteral("test.ini")));
    QVERIFY(!config.loadFile(hostPath, QString()));
    QCOMPARE(config.getString(QStringLiteral("g:a"), QStringLiteral("d")), QStringLiteral("d"));
}

QTEST_GUILESS_MAIN(TestHostConfig)

#include "tst_hostconfig.moc"
