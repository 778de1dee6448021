#include "host/log4qt/LogManager.h"
#include "host/log4qt/Logger.h"
#include "host/log4qt/MemoryAppender.h"
#include "host/log4qt/StreamAppender.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace Log4Qt;

class TestLog4Qt : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void escapeControlCharacters_data();
    void escapeControlCharacters();
    void thresholdFiltersLevels();
    void fileLinesCannotBeForged();
    void concurrentLogging();

private:
    MemoryAppender m_memory;
};

void TestLog4Qt::init()
{
    m_memory.clear();
    LogManager::addAppender(&m_memory);
    LogManager::setThreshold(Level::Debug);
}

void TestLog4Qt::cleanup()
{
    LogManager::removeAppender(&m_memory);
    LogManager::setThreshold(Level::Info);
}

void TestLog4Qt::escapeControlCharacters_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *tag, const QString &message, const QString &expected) {
        QTest::newRow(tag) << message << expected;
    };
    row("plain", QStringLiteral("Оплата 12.50"), QStringLiteral("Оплата 12.50"));
    row("line feed", QStringLiteral("a\nb"), QStringLiteral("a\\nb"));
    row("carriage return", QStringLiteral("a\rb"), QStringLiteral("a\\rb"));
    row("tab", QStringLiteral("a\tb"), QStringLiteral("a\\tb"));
    row("escape", QStringLiteral("a\x1b[2Jb"), QStringLiteral("a\\u001b[2Jb"));
    row("nul", QString(QChar(0)), QStringLiteral("\\u0000"));
    row("delete", QStringLiteral("\x7f"), QStringLiteral("\\u007f"));
    row("next line", QString(QChar(0x85)), QStringLiteral("\\u0085"));
    row("line separator", QString(QChar(0x2028)), QStringLiteral("\\u2028"));
    row("paragraph separator", QString(QChar(0x2029)), QStringLiteral("\\u2029"));
}

void TestLog4Qt::escapeControlCharacters()
{
    QFETCH(QString, message);
    QFETCH(QString, expected);

    QCOMPARE(Appender::escapeControlCharacters(message), expected);
}

void TestLog4Qt::thresholdFiltersLevels()
{
    const Logger *logger = LogManager::logger(QStringLiteral("threshold"));
    LogManager::setThreshold(Level::Warn);
    logger->debug(QStringLiteral("d"));
    logger->info(QStringLiteral("i"));
    logger->warn(QStringLiteral("w\nx"));
    logger->error(QStringLiteral("e"));
    QCOMPARE(m_memory.lines(), QStringList({"WARN w\nx", "ERROR e"}));
    QCOMPARE(m_memory.events().first().loggerName, QStringLiteral("threshold"));
}

void TestLog4Qt::fileLinesCannotBeForged()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("host.log"));
    {
        StreamAppender file(path);
        QVERIFY2(file.isOpen(), qPrintable(file.errorString()));
        LogManager::addAppender(&file);
        LogManager::logger(QStringLiteral("scan"))->info(QStringLiteral("код ZVQR1\r\nERROR fake"));
        LogManager::logger(QStringLiteral("scan"))->info(QStringLiteral("второй"));
        LogManager::removeAppender(&file);
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 3); // two lines and what follows the last line break
    QVERIFY(lines.at(0).endsWith(" INFO scan код ZVQR1\\r\\nERROR fake"));
    QVERIFY(lines.at(1).endsWith(" INFO scan второй"));
    QVERIFY(lines.at(2).isEmpty());
}

// The payment thread and the thread that interrupts it log at the same time.
void TestLog4Qt::concurrentLogging()
{
    constexpr int PerThread = 2000;
    const auto writeLines = [] {
        const Logger *logger = LogManager::logger(QStringLiteral("thread"));
        for (int i = 0; i < PerThread; ++i)
            logger->info(QString::number(i));
    };
    QScopedPointer<QThread> first(QThread::create(writeLines));
    QScopedPointer<QThread> second(QThread::create(writeLines));
    first->start();
    second->start();
    QVERIFY(first->wait(30000));
    QVERIFY(second->wait(30000));
    QCOMPARE(m_memory.events().size(), 2 * PerThread);
}

QTEST_GUILESS_MAIN(TestLog4Qt)

#include "tst_log4qt.moc"
