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
    void getString_data();
    void getString();
    void getInt_data();
    void getInt();
    void missingFileGivesDefaults();
    void reloadReplacesValues();
    void laterFileWins();
    void cleanup();

private:
    QString writeIni(const QString &name, const QByteArray &content);

    QTemporaryDir m_dir;
};

QString TestHostConfig::writeIni(const QString &name, const QByteArray &content)
{
    const QString path = m_dir.filePath(name);
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
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("overridden");
    QTest::addColumn<QString>("hostPath");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no mapping") << ""
                                << ""
                                << "/trelmo/a.ini"
                                << "/trelmo/a.ini";
    QTest::newRow("root") << "/tmp/r"
                          << ""
                          << "/trelmo/a.ini"
                          << "/tmp/r/trelmo/a.ini";
    QTest::newRow("root with slash") << "/tmp/r/"
                                     << ""
                                     << "/trelmo/a.ini"
                                     << "/tmp/r/trelmo/a.ini";
    QTest::newRow("relative path keeps") << "/tmp/r"
                                         << ""
                                         << "a.ini"
                                         << "a.ini";
    QTest::newRow("override wins over root") << "/tmp/r"
                                             << "/trelmo/a.ini"
                                             << "/trelmo/a.ini"
                                             << "/local/a.ini";
    QTest::newRow("override of another path") << "/tmp/r"
                                              << "/trelmo/b.ini"
                                              << "/trelmo/a.ini"
                                              << "/tmp/r/trelmo/a.ini";
}

void TestHostConfig::resolve()
{
    QFETCH(QString, root);
    QFETCH(QString, overridden);
    QFETCH(QString, hostPath);
    QFETCH(QString, expected);

    HostPaths::setRoot(root);
    if (!overridden.isEmpty())
        HostPaths::setOverride(overridden, QStringLiteral("/local/a.ini"));
    QCOMPARE(HostPaths::resolve(hostPath), expected);
}

void TestHostConfig::getString_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    const QByteArray ini = "top=outside\n"
                           "[zorvikcpqr]\n"
                           "url=http://127.0.0.1:8080/api/\n"
                           "empty=\n"
                           "unquotedList=a, b,c\n"
                           "quotedList=\"a, b\"\n"
                           "quotedRegex=\"^(?<sbpCpqr>ZVQR\\\\d{4})$\"\n"
                           "unquotedBackslash=ZVQR\\d\n"
                           "comment=value;not this\n"
                           "quotedSemicolon=\"a;b\"\n";
    QTest::newRow("group:key") << ini << "zorvikcpqr:url"
                               << "http://127.0.0.1:8080/api/";
    QTest::newRow("key outside a group") << ini << "top"
                                         << "outside";
    QTest::newRow("missing key") << ini << "zorvikcpqr:nothing"
                                 << "fallback";
    QTest::newRow("missing group") << ini << "other:url"
                                   << "fallback";
    QTest::newRow("empty value is a value") << ini << "zorvikcpqr:empty"
                                            << "";
    QTest::newRow("unquoted commas lose blanks") << ini << "zorvikcpqr:unquotedList"
                                                 << "a,b,c";
    QTest::newRow("quoted commas") << ini << "zorvikcpqr:quotedList"
                                   << "a, b";
    QTest::newRow("quoted regex") << ini << "zorvikcpqr:quotedRegex"
                                  << "^(?<sbpCpqr>ZVQR\\d{4})$";
    QTest::newRow("unknown escape dropped") << ini << "zorvikcpqr:unquotedBackslash"
                                            << "ZVQR";
    QTest::newRow("semicolon starts a comment") << ini << "zorvikcpqr:comment"
                                                << "value";
    QTest::newRow("quoted semicolon") << ini << "zorvikcpqr:quotedSemicolon"
                                      << "a;b";
}

void TestHostConfig::getString()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, name);
    QFETCH(QString, expected);

    Config config;
    QVERIFY(config.loadFile(writeIni(QStringLiteral("strings.ini"), ini), QString()));
    QCOMPARE(config.getString(name, QStringLiteral("fallback")), expected);
}

void TestHostConfig::getInt_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("expected");

    QTest::newRow("integer") << QByteArray("15") << 15;
    QTest::newRow("negative") << QByteArray("-3") << -3;
    QTest::newRow("blanks around") << QByteArray("  7  ") << 7;
    QTest::newRow("garbage reads as zero") << QByteArray("12x") << 0;
    QTest::newRow("empty reads as zero") << QByteArray("") << 0;
    QTest::newRow("out of range reads as zero") << QByteArray("99999999999") << 0;
    QTest::newRow("fraction reads as zero") << QByteArray("1.5") << 0;
}

void TestHostConfig::getInt()
{
    QFETCH(QByteArray, value);
    QFETCH(int, expected);

    Config config;
    const QString fileName
        = QStringLiteral("%1.ini").arg(QTest::currentDataTag()).replace(' ', '_');
    QVERIFY(config.loadFile(writeIni(fileName, "[g]\nkey=" + value + "\n"), QString()));
    QCOMPARE(config.getInt(QStringLiteral("g:key"), 42), expected);
    QCOMPARE(config.getInt(QStringLiteral("g:missing"), 42), 42);
}

void TestHostConfig::missingFileGivesDefaults()
{
    Config config;
    QVERIFY(!config.loadFile(m_dir.filePath(QStringLiteral("absent.ini")), QString()));
    QCOMPARE(config.getString(QStringLiteral("zorvikcpqr:url"), QStringLiteral("d")),
             QStringLiteral("d"));
    QCOMPARE(config.getInt(QStringLiteral("zorvikcpqr:timeout"), 10), 10);
}

void TestHostConfig::reloadReplacesValues()
{
    const QString hostPath = QStringLiteral("/trelmo/cash/paysystems/test/test.ini");
    HostPaths::setOverride(hostPath, writeIni("reload.ini", "[g]\na=1\nb=2\n"));
    Config config;
    QVERIFY(config.loadFile(hostPath, QString()));
    QCOMPARE(config.getInt(QStringLiteral("g:b"), 0), 2);

    writeIni("reload.ini", "[g]\na=5\n");
    QVERIFY(config.loadFile(hostPath, QString()));
    QCOMPARE(config.getInt(QStringLiteral("g:a"), 0), 5);
    QCOMPARE(config.getInt(QStringLiteral("g:b"), -1), -1);

    QFile::remove(m_dir.filePath(QStringLiteral("reload.ini")));
    QVERIFY(!config.loadFile(hostPath, QString()));
    QCOMPARE(config.getInt(QStringLiteral("g:a"), -1), -1);
}

void TestHostConfig::laterFileWins()
{
    const QString first = writeIni("first.ini", "[g]\nshared=first\nown=first\n");
    const QString second = writeIni("second.ini", "[g]\nshared=second\n");
    Config config;
    QVERIFY(config.loadFile(first, QString()));
    QVERIFY(config.loadFile(second, QString()));
    QCOMPARE(config.getString(QStringLiteral("g:shared")), QStringLiteral("second"));
    QCOMPARE(config.getString(QStringLiteral("g:own")), QStringLiteral("first"));

    QVERIFY(config.loadFile(first, QString()));
    QCOMPARE(config.getString(QStringLiteral("g:shared")), QStringLiteral("first"));
}

QTEST_GUILESS_MAIN(TestHostConfig)

#include "tst_hostconfig.moc"
