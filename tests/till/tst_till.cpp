// zorvik-till as a person or a script uses it: the built binary, its commands and JSON forms.

#include "TillBench.h"

#include "tests/SqlFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTest>
#include <QUuid>

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

// A queued message as compact JSON, its refund id (a fresh UUID) shown as "UUID".
QString queuedMessage(QJsonObject message)
{
    if (!QUuid::fromString(message.value(QStringLiteral("refundId")).toString()).isNull())
        message.insert(QStringLiteral("refundId"), QStringLiteral("UUID"));
    return QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact));
}

// "attempts N, due now" or "attempts N, due in S s" (S rounded up to ten seconds) of each
// message left in the queue.
QString queueSummary(const QJsonArray &messages)
{
    QStringList summaries;
    for (const QJsonValue &message : messages) {
        const QDateTime due = QDateTime::fromString(
            message[QStringLiteral("nextAttemptAt")].toString(), Qt::ISODate);
        const qint64 seconds
            = due.isValid() ? QDateTime::currentDateTimeUtc().msecsTo(due) / 1000 : 0;
        summaries.append(QStringLiteral("attempts %1, due %2")
                             .arg(message[QStringLiteral("attempts")].toInt())
                             .arg(seconds > 0
                                      ? QStringLiteral("in %1 s").arg((seconds + 9) / 10 * 10)
                                      : QStringLiteral("now")));
    }
    return summaries.join(QLatin1String("; "));
}

// "delivered D, failed F" of a queue run, with the start of each queue error.
QString runReport(const QJsonObject &result)
{
    QString report = QStringLiteral("delivered %1, failed %2")
                         .arg(result.value(QStringLiteral("delivered")).toInt())
                         .arg(result.value(QStringLiteral("failed")).toInt());
    for (const QJsonValue &error : result.value(QStringLiteral("errors")).toArray())
        report
            += QStringLiteral(", error '%1'").arg(error.toString().section(QLatin1Char(':'), 0, 0));
    return report;
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
    void queueRun_data();
    void queueRun();
    void info_data();
    void info();
    void progressCountsStatusRequests();

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
    const QJsonArray queued = m_till.queueList(queue);
    QCOMPARE(queued.size(), 1);
    QCOMPARE(
        queuedMessage(queued.at(0)[QStringLiteral("message")].toObject()),
        QStringLiteral(R"({"refundId":"UUID","request":{"amount":1000,"operationId":"%1",)"
                       R"("paymentCode":"ZVQR-NEVER","type":1,"valutCode":643},"valutCode":643})")
            .arg(m_till.orders().last()[QStringLiteral("client_transaction")].toString()));
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
    // One line on standard error, exit status 2, nothing on standard output; "%build" is the
    // build folder.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    const QString help = QStringLiteral("; see zorvik-till --help");
    QTest::newRow("unknown command") << QStringList{"dance"} << "unknown command 'dance'" + help;
    QTest::newRow("amount in roubles")
        << QStringList{"pay", "150.50"}
        << "AMOUNT must be a positive whole number of kopecks, not '150.50'";
    QTest::newRow("missing argument")
        << QStringList{"refund", "abc"} << "usage: refund OPERATION_ID AMOUNT";
    QTest::newRow("first word of two") << QStringList{"queue"} << "usage: queue list | queue run";
    QTest::newRow("unknown second word")
        << QStringList{"card", "swipe", "7700123"} << "usage: card add NUMBER | card delete NUMBER";
    QTest::newRow("unknown option")
        << QStringList{"--bogus", "info"} << "unknown option 'bogus'" + help;
    QTest::newRow("bad log level")
        << QStringList{"--log-level", "loud", "info"}
        << "--log-level must be debug, info, warn or error, not 'loud'" + help;
    QTest::newRow("interruption not in seconds")
        << QStringList{"--interrupt-after", "soon", "info"}
        << "--interrupt-after takes a number of seconds, not 'soon'" + help;
    QTest::newRow("unreadable receipt")
        << QStringList{"--receipt", "/nonexistent/receipt.json", "info"}
        << "/nonexistent/receipt.json: cannot read the file: No such file or directory";
    QTest::newRow("unreadable config") << QStringList{"--config", "/nonexistent/z.ini", "info"}
                                       << "cannot read the configuration /nonexistent/z.ini";
    QTest::newRow("queue in a missing folder")
        << QStringList{"--queue", "/nonexistent/folder/q.sqlite", "queue", "list"}
        << "cannot open the queue /nonexistent/folder/q.sqlite: the folder /nonexistent/folder "
           "does not exist";
    QTest::newRow("log in a missing folder")
        << QStringList{"--log", "/nonexistent/till.log", "info"}
        << "cannot write the log /nonexistent/till.log: No such file or directory";
    QTest::newRow("unknown language")
        << QStringList{"--lang", "xx", "info"}
        << "no catalogue zorvikcpqr_xx.qm for the language 'xx' in %build/translations, "
           "%build/../share/zorvikcpqr/translations";
}

void TillTest::badInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    const TillRun run = m_till.run(QStringLiteral("bad.sqlite"), arguments);
    QCOMPARE(run.errors,
             QStringLiteral("zorvik-till: %1\n")
                 .arg(error.replace(QLatin1String("%build"), QLatin1String(ZORVIK_BUILD_DIR))));
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.results.isEmpty());
    // A mistyped queue path must not leave a new folder behind.
    QVERIFY(!QFileInfo::exists(QStringLiteral("/nonexistent")));
}

void TillTest::queueRun_data()
{
    // The cancellation of an order (paid by the code, or unknown to the service without one)
    // waits in a queue of its own, set back by the SQL; another writer may hold the file.
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("backOff");
    QTest::addColumn<bool>("lockQueue");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("left");
    QTest::addColumn<double>("returned");

    QTest::newRow("never failed") << "ZVQR"
                                  << "" << false << 0 << "delivered 1, failed 0"
                                  << "" << 150.5;
    QTest::newRow("waiting out an hour's back-off: carried out now")
        << "ZVQR"
        << "UPDATE messages SET attempts = 7, "
           "next_attempt_at = (strftime('%s','now') + 3600) * 1000"
        << false << 0 << "delivered 1, failed 0"
        << "" << 150.5;
    QTest::newRow("refused by the service: kept for half a minute")
        << ""
        << "" << false << 1 << "delivered 0, failed 1"
        << "attempts 1, due in 30 s" << 0.0;
    QTest::newRow("queue held by another writer: the error is reported")
        << "ZVQR"
        << "" << true << 1 << "delivered 0, failed 0, error 'cannot claim message 1'"
        << "attempts 0, due now" << 0.0;
}

void TillTest::queueRun()
{
    QFETCH(QString, code);
    QFETCH(QString, backOff);
    QFETCH(bool, lockQueue);
    const QString queue = QStringLiteral("run-%1.sqlite").arg(QTest::currentDataTag());
    QString order = QStringLiteral("unknown-to-the-service");
    if (!code.isEmpty()) {
        const TillRun paid
            = m_till.run(queue, {QStringLiteral("pay"), QStringLiteral("15050"), code});
        order = paid.results.value(0).value(QStringLiteral("operationId")).toString();
        QVERIFY2(!order.isEmpty(), qPrintable(paid.errors));
    }
    QCOMPARE(m_till.run(queue, {QStringLiteral("defer"), order, QStringLiteral("15050")}).exitCode,
             0);
    if (!backOff.isEmpty())
        QVERIFY(runOnSqlFile(m_till.path(queue), {backOff}));

    TillRun run;
    {
        SqlWriter writer(m_till.path(queue));
        QVERIFY(!lockQueue || writer.hold());
        run = m_till.run(queue, {QStringLiteral("queue"), QStringLiteral("run")});
    }

    QFETCH(int, exitCode);
    QCOMPARE(run.exitCode, exitCode);
    QFETCH(QString, report);
    QCOMPARE(runReport(run.results.value(0)), report);
    QFETCH(QString, left);
    QCOMPARE(queueSummary(m_till.queueList(queue)), left);
    QFETCH(double, returned);
    QCOMPARE(m_till.order(order).value(QStringLiteral("returned")).toDouble(), returned);
}

void TillTest::info_data()
{
    // The configuration file's content; what the plug-in read of url, timeout and the interval
    // ("*" where the file set it), the interval the processing holds, and the warnings ("%file"
    // is the file).
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QStringList>("warnings");

    const QString defaults = QStringLiteral("url=http://127.0.0.1, timeout=10 s, "
                                            "statusRequestInterval=10 s; holds 10000 ms");
    QTest::newRow("as it should be")
        << "[zorvikcpqr]\nurl=http://127.0.0.1:8099/\ntimeout=3\nstatusRequestInterval=2\n"
        << "url=http://127.0.0.1:8099/*, timeout=3 s*, statusRequestInterval=2 s*; holds 2000 ms"
        << QStringList();
    QTest::newRow("no section") << "url=http://127.0.0.1:8099/\n"
                                << defaults
                                << QStringList{"%file sets nothing in [zorvikcpqr]: every "
                                               "setting there is its default",
                                               "%file: 'url' outside any section is not a setting "
                                               "that is read; meant 'url' in [zorvikcpqr]?"};
    QTest::newRow("broken section header")
        << "[zorvikcpqr\nurl=http://127.0.0.1:8099/\n"
        << defaults
        << QStringList{"%file is not a valid ini file: none of its values is used",
                       "%file: line 1: section header '[zorvikcpqr' lacks its ']'"};
    QTest::newRow("line without its '='")
        << "[zorvikcpqr]\nurl http://127.0.0.1:8099/\n"
        << defaults
        << QStringList{"%file: line 2: 'url http://127.0.0.1:8099/' is no 'key=value' and is "
                       "skipped",
                       "%file sets nothing in [zorvikcpqr]: every setting there is its default"};
    QTest::newRow("address with a port out of range")
        << "[zorvikcpqr]\nurl=http://127.0.0.1:99999/\n"
        << "url=http://127.0.0.1:99999/*, timeout=10 s, statusRequestInterval=10 s; holds 10000 ms"
        << QStringList{"url 'http://127.0.0.1:99999/' is not used: not a valid address (Invalid "
                       "port or port number out of range); every request is refused"};
    QTest::newRow("time-out the plug-in replaces")
        << "[zorvikcpqr]\ntimeout=0\n"
        << "url=http://127.0.0.1, timeout=0 s*, statusRequestInterval=10 s; holds 10000 ms"
        << QStringList{"the plug-in logged: Некорректное значение параметра ZorvikCpqr:timeout, "
                       "используется 10 сек."};
}

void TillTest::info()
{
    QFETCH(QString, content);
    const QString file = m_till.path(QStringLiteral("info-%1.ini").arg(QTest::currentDataTag()));
    QFile ini(file);
    QVERIFY(ini.open(QIODevice::WriteOnly)
            && ini.write(content.toUtf8()) == content.toUtf8().size());
    ini.close();
    const TillRun run = m_till.run(QStringLiteral("info.sqlite"),
                                   {QStringLiteral("--config"), file, QStringLiteral("info")});
    QCOMPARE(run.exitCode, 0);
    const QJsonObject info = run.results.value(0);

    QStringList seen;
    for (const QJsonValue &setting : info.value(QStringLiteral("settings")).toArray()) {
        const QString name = setting[QStringLiteral("name")].toString();
        if (name != QLatin1String("url") && name != QLatin1String("timeout")
            && name != QLatin1String("statusRequestInterval"))
            continue;
        QString value = setting[QStringLiteral("value")].toString();
        if (setting[QStringLiteral("unit")].isString())
            value += QLatin1Char(' ') + setting[QStringLiteral("unit")].toString();
        seen.append(
            name + QLatin1Char('=') + value
            + (setting[QStringLiteral("written")].toBool() ? QStringLiteral("*") : QString()));
    }
    const QString held
        = QStringLiteral("; holds %1 ms")
              .arg(info[QStringLiteral("processing")][QStringLiteral("statusRequestIntervalMs")]
                       .toInteger());
    QFETCH(QString, read);
    QCOMPARE(seen.join(QLatin1String(", ")) + held, read);
    QFETCH(QStringList, warnings);
    warnings.replaceInStrings(QStringLiteral("%file"), file);
    QCOMPARE(info.value(QStringLiteral("warnings")).toVariant().toStringList(), warnings);
}

// On a terminal the payment's progress line counts the requests for the order's state as they
// reach the service: the code is paid at the third, a second apart.
void TillTest::progressCountsStatusRequests()
{
    QProcess terminal;
    QStringList till{QStringLiteral(ZORVIK_BUILD_DIR "/zorvik-till")};
    for (const auto &[option, file] : {std::pair("--config", "zorvikcpqr.ini"),
                                       std::pair("--queue", "progress.sqlite"),
                                       std::pair("--log", "till.log")})
        till << QLatin1String(option) << m_till.path(QLatin1String(file));
    till << QStringLiteral("pay") << QStringLiteral("15050") << QStringLiteral("ZVQR-PAY3");
    terminal.start(
        QStringLiteral("script"),
        {QStringLiteral("-qec"), till.join(QLatin1Char(' ')), QStringLiteral("/dev/null")});
    QVERIFY(terminal.waitForFinished(60000));
    QCOMPARE(terminal.exitCode(), 0);
    const QString output = QString::fromUtf8(terminal.readAllStandardOutput());
    QVERIFY2(output.contains(QStringLiteral("pay: success")), qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("запросов статуса: 1"))
                 && output.contains(QStringLiteral("запросов статуса: 2")),
             qPrintable(output));
}

QTEST_GUILESS_MAIN(TillTest)
#include "tst_till.moc"
