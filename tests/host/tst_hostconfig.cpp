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
    void reloadReplacesValuesAndMissingFileGivesDefaults();
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
    const auto row = [](const char *tag,
                        const char *root,
                        const char *overridden,
                        const char *hostPath,
                        const char *expected) {
        QTest::newRow(tag) << QString::fromUtf8(root) << QString::fromUtf8(overridden)
                           << QString::fromUtf8(hostPath) << QString::fromUtf8(expected);
    };
    row("no mapping", "", "", "/trelmo/a.ini", "/trelmo/a.ini");
    row("root", "/tmp/r", "", "/trelmo/a.ini", "/tmp/r/trelmo/a.ini");
    row("root with slash", "/tmp/r/", "", "/trelmo/a.ini", "/tmp/r/trelmo/a.ini");
    row("relative path keeps", "/tmp/r", "", "a.ini", "a.ini");
    row("override wins over root", "/tmp/r", "/trelmo/a.ini", "/trelmo/a.ini", "/local/a.ini");
    row("override of another path",
        "/tmp/r",
        "/trelmo/b.ini",
        "/trelmo/a.ini",
        "/tmp/r/trelmo/a.ini");
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
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *tag, const char *name, const char *expected) {
        QTest::newRow(tag) << QString::fromUtf8(name) << QString::fromUtf8(expected);
    };
    row("group:key", "zorvikcpqr:url", "http://127.0.0.1:8080/api/");
    row("key outside a group", "top", "outside");
    row("missing key", "zorvikcpqr:nothing", "fallback");
    row("missing group", "other:url", "fallback");
    row("empty value is a value", "zorvikcpqr:empty", "");
    row("unquoted commas lose blanks", "zorvikcpqr:unquotedList", "a,b,c");
    row("quoted commas", "zorvikcpqr:quotedList", "a, b");
    row("quoted regex", "zorvikcpqr:quotedRegex", "^(?<sbpCpqr>ZVQR\\d{4})$");
    row("unknown escape dropped", "zorvikcpqr:unquotedBackslash", "ZVQR");
    row("semicolon starts a comment", "zorvikcpqr:comment", "value");
    row("quoted semicolon", "zorvikcpqr:quotedSemicolon", "a;b");
}

void TestHostConfig::getString()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);

    Config config;
    QVERIFY(config.loadFile(writeIni(QStringLiteral("strings.ini"),
                                     "top=outside\n"
                                     "[zorvikcpqr]\n"
                                     "url=http://127.0.0.1:8080/api/\n"
                                     "empty=\n"
                                     "unquotedList=a, b,c\n"
                                     "quotedList=\"a, b\"\n"
                                     "quotedRegex=\"^(?<sbpCpqr>ZVQR\\\\d{4})$\"\n"
                                     "unquotedBackslash=ZVQR\\d\n"
                                     "comment=value;not this\n"
                                     "quotedSemicolon=\"a;b\"\n"),
                            QString()));
    QCOMPARE(config.getString(name, QStringLiteral("fallback")), expected);
}

void TestHostConfig::getInt_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("expected");
    const auto row = [](const char *key, int expected) {
        QTest::newRow(key) << QString::fromUtf8(key) << expected;
    };
    row("integer", 15);
    row("negative", -3);
    row("blanksAround", 7);
    row("garbage", 0);
    row("empty", 0);
    row("outOfRange", 0);
    row("fraction", 0);
    row("missing", 42);
}

void TestHostConfig::getInt()
{
    QFETCH(QString, key);
    QFETCH(int, expected);

    Config config;
    QVERIFY(config.loadFile(writeIni(QStringLiteral("integers.ini"),
                                     "[g]\ninteger=15\nnegative=-3\nblanksAround=  7  \n"
                                     "garbage=12x\nempty=\noutOfRange=99999999999\nfraction=1.5\n"),
                            QString()));
    QCOMPARE(config.getInt(QStringLiteral("g:") + key, 42), expected);
}

void TestHostConfig::reloadReplacesValuesAndMissingFileGivesDefaults()
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
    QCOMPARE(config.getString(QStringLiteral("g:a"), QStringLiteral("d")), QStringLiteral("d"));
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
