#include "host/log4qt/LogManager.h"
#include "host/log4qt/Logger.h"
#include "host/log4qt/StreamAppender.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <string_view>

using namespace Log4Qt;
using namespace std::literals;

class TestLog4Qt : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void escapeControlCharacters_data();
    void escapeControlCharacters();
    void fileLinesAreAppendedAndCannotBeForged();
    void concurrentLinesStayWhole();
};

void TestLog4Qt::escapeControlCharacters_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *tag, std::u16string_view message, const char *expected) {
        QTest::newRow(tag) << QString::fromUtf16(message.data(), message.size())
                           << QString::fromUtf8(expected);
    };
    row("text kept", u"Оплата 12.50~\xa0", "Оплата 12.50~\u00a0");
    row("line breaks and tab", u"a\r\nb\tc", R"(a\r\nb\tc)");
    row("other C0 controls", u"\x1b[2J\0\x1f"sv, R"(\u001b[2J\u0000\u001f)");
    row("C1 controls", u"\x7f\x85\x9f", R"(\u007f\u0085\u009f)");
    row("line and paragraph separators", u"\u2028\u2029", R"(\u2028\u2029)");
}

void TestLog4Qt::escapeControlCharacters()
{
    QFETCH(QString, message);
    QTEST(Appender::escapeControlCharacters(message), "expected");
}

// The till opens its log file anew on every run; below the threshold (INFO unless set) nothing is
// written.
void TestLog4Qt::fileLinesAreAppendedAndCannotBeForged()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("till.log"));
    for (const QString &message :
         {QStringLiteral("код ZVQR1\r\nERROR fake"), QStringLiteral("второй")}) {
        StreamAppender file(path);
        QVERIFY2(file.isOpen(), qPrintable(file.errorString()));
        LogManager::addAppender(&file);
        LogManager::logger(QStringLiteral("scan"))->info(message);
        LogManager::logger(QStringLiteral("scan"))->debug(message);
        LogManager::removeAppender(&file);
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    static const QRegularExpression time(
        QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )"));
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (QString &line : lines)
        line.remove(time);
    QCOMPARE(lines, QStringList({R"(INFO scan код ZVQR1\r\nERROR fake)", "INFO scan второй", ""}));
}

// The payment thread and the thread that interrupts it log at the same time.
void TestLog4Qt::concurrentLinesStayWhole()
{
    constexpr int PerThread = 20000;
    QTemporaryDir dir;
    StreamAppender file(dir.filePath(QStringLiteral("threads.log")));
    LogManager::addAppender(&file);
    const auto writeLines = [] {
        for (int i = 0; i < PerThread; ++i)
            LogManager::logger(QStringLiteral("thread%1").arg(i % 7))->info(QString::number(i));
    };
    QScopedPointer<QThread> other(QThread::create(writeLines));
    other->start();
    writeLines();
    const bool finished = other->wait(30000);
    LogManager::removeAppender(&file);
    QVERIFY(finished);
    QFile written(dir.filePath(QStringLiteral("threads.log")));
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = written.readAll().split('\n');
    QCOMPARE(lines.size(), 2 * PerThread + 1);
    static const QRegularExpression whole(QStringLiteral(R"(^\S+ \S+ INFO thread\d \d+$)"));
    for (const QByteArray &line : lines.first(2 * PerThread))
        QVERIFY2(whole.match(QString::fromUtf8(line)).hasMatch(), line.constData());
}

QTEST_GUILESS_MAIN(TestLog4Qt)

#include "tst_log4qt.moc"
