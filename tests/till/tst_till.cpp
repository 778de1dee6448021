// zorvik-till as a person or a script uses it: the built binary, its commands and JSON forms.

#include "TillBench.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTest>

#include <csignal>

namespace {

// "COMMAND" of each result, with " STATUS" where it has one.
QString commandsAndStatuses(const TillRun &run)
{
    QStringList summaries;
    for (const QJsonObject &result : run.results) {
        QString summary = result.value(QStringLiteral("command")).toString();
        if (result.contains(QStringLiteral("status")))
            summary += QStringLiteral(" %1").arg(result.value(QStringLiteral("status")).toInt());
        summaries.append(summary);
    }
    return summaries.join(QLatin1String(", "));
}

} // namespace

class TillTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_till.start()); }
    void scriptedSession();
    void cashierInterrupts();
    void journalPlacement_data();
    void journalPlacement();
    void badInput_data();
    void badInput();

private:
    TillBench m_till;
};

// A cashier's session from standard input, then support's follow-ups on its order.
void TillTest::scriptedSession()
{
    const TillRun run = m_till.run(QStringLiteral("session.sqlite"),
                                   {},
                                   "# a cashier's session\ninfo\nscan ZVQR-PAY2\n\npay 15050\n"
                                   "card add 7700123\ncard delete 7700123\ndocument cancel\n"
                                   "params\nmessage 0\nmessage 5\n");
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(commandsAndStatuses(run),
             QStringLiteral("info, scan, pay 0, card add, card delete, document cancel, params, "
                            "message, message"));
    QVERIFY(run.results.at(1).value(QStringLiteral("accepted")).toBool());
    const QJsonObject paid = run.results.at(2);
    QCOMPARE(paid.value(QStringLiteral("message")).toObject(),
             (QJsonObject{{"id", ""}, {"text", ""}}));

    // Nothing is left to return at the second cancel: the service refuses, which is a result,
    // not an error of the tool.
    const QString paidOrder = paid.value(QStringLiteral("operationId")).toString();
    const TillRun followUps = m_till.run(
        QStringLiteral("session.sqlite"),
        {},
        QStringLiteral("refund %1 5000\ncancel %1 10050\ncancel %1 100\ndefer %1 100\nstatus %1\n")
            .arg(paidOrder)
            .toUtf8());
    QCOMPARE(followUps.exitCode, 0);
    QCOMPARE(commandsAndStatuses(followUps),
             QStringLiteral("refund 0, cancel 0, cancel 1, defer, status 1"));
    QCOMPARE(followUps.results.at(4).value(QStringLiteral("result")), true);
    QCOMPARE(m_till.order(paidOrder).value(QStringLiteral("returned")), 150.5);
}

// Ctrl-C while the payment waits: the abandoned order's cancellation waits in the queue.
void TillTest::cashierInterrupts()
{
    const qsizetype ordersBefore = m_till.orders().size();
    const QString queue = QStringLiteral("interrupted.sqlite");
    QProcess till;
    m_till.startTill(
        till, queue, {QStringLiteral("pay"), QStringLiteral("1000"), QStringLiteral("ZVQR-NEVER")});
    // The payment waits once the service has been asked for the order's state.
    QTRY_VERIFY_WITH_TIMEOUT(m_till.orders().size() > ordersBefore
                                 && m_till.orders().last()[QStringLiteral("statusRequests")] != 0,
                             20000);
    ::kill(till.processId(), SIGINT);
    QVERIFY(till.waitForFinished(20000));
    QCOMPARE(till.exitCode(), 0);
    const QJsonObject result = QJsonDocument::fromJson(till.readAllStandardOutput()).object();
    QCOMPARE(result.value(QStringLiteral("status")).toInt(), 2);
    QCOMPARE(m_till.queueList(queue).size(), 1);
}

void TillTest::journalPlacement_data()
{
    QTest::addColumn<QString>("configured"); // the configuration's journalFile; empty: none
    QTest::addColumn<QString>("given");      // --journal; empty: none
    QTest::addColumn<QString>("expected");   // where the journal is, in the row's folder

    const QString fromConfiguration = QStringLiteral("configured.sqlite");
    QTest::newRow("beside the queue") << QString() << QString() << "zorvikcpqr-journal.sqlite";
    QTest::newRow("as configured") << fromConfiguration << QString() << fromConfiguration;
    QTest::newRow("the command line over the configuration") << fromConfiguration << "given.sqlite"
                                                             << "given.sqlite";
}

// The till tells the plug-in where its journal is as a host does, through the configuration;
// the plug-in makes it there and nowhere else.
void TillTest::journalPlacement()
{
    QFETCH(QString, configured);
    QFETCH(QString, given);
    QFETCH(QString, expected);
    const QString folderName = QString::fromUtf8(QTest::currentDataTag());
    const QDir folder(m_till.path(folderName));
    QVERIFY(folder.mkpath(QStringLiteral(".")));
    QFile config(folder.filePath(QStringLiteral("zorvikcpqr.ini")));
    QVERIFY(QFile::copy(m_till.path(QStringLiteral("zorvikcpqr.ini")), config.fileName()));
    QVERIFY(config.open(QIODevice::Append));
    if (!configured.isEmpty())
        config.write("journalFile=" + folder.filePath(configured).toUtf8() + "\n");
    config.close();
    QStringList arguments{QStringLiteral("--config"), config.fileName()};
    if (!given.isEmpty())
        arguments << QStringLiteral("--journal") << folder.filePath(given);

    const TillRun run = m_till.run(folderName + QStringLiteral("/queue.sqlite"),
                                   arguments << QStringLiteral("info"));
    QCOMPARE(run.exitCode, 0);
    QStringList files{expected, QStringLiteral("queue.sqlite")};
    files.sort();
    QCOMPARE(folder.entryList({QStringLiteral("*.sqlite")}, QDir::Files, QDir::Name), files);
}

void TillTest::badInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown command") << QStringList{"dance"} << "unknown command 'dance'";
    QTest::newRow("amount in roubles") << QStringList{"pay", "150.50"} << "AMOUNT must be";
    QTest::newRow("missing argument")
        << QStringList{"refund", "abc"} << "usage: refund OPERATION_ID AMOUNT";
    QTest::newRow("unreadable receipt")
        << QStringList{"--receipt", "/nonexistent/receipt.json", "info"}
        << "/nonexistent/receipt.json";
    QTest::newRow("unreadable config")
        << QStringList{"--config", "/nonexistent/z.ini", "info"} << "/nonexistent/z.ini";
    QTest::newRow("unknown language") << QStringList{"--lang", "xx", "info"} << "zorvikcpqr_xx.qm";
    QTest::newRow("bad log level") << QStringList{"--log-level", "loud", "info"} << "--log-level";
}

void TillTest::badInput()
{
    QFETCH(QStringList, arguments);
    const TillRun run = m_till.run(QStringLiteral("bad.sqlite"), arguments);
    QCOMPARE(run.exitCode, 2);
    QFETCH(QString, error);
    QVERIFY2(run.errors.contains(error), qPrintable(run.errors));
    QVERIFY(run.results.isEmpty());
}

QTEST_GUILESS_MAIN(TillTest)
#include "tst_till.moc"
