// zorvik-till as a person or a script uses it: the built binary, its commands and JSON forms.

#include "sim/Simulator.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

struct TillRun
{
    int exitCode = -1;
    QList<QJsonObject> results;
    QString errors;
};

QStringList keys(const QJsonObject &object)
{
    QStringList keys = object.keys();
    keys.sort();
    return keys;
}

} // namespace

class TillTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void scriptedSession();
    void refundAndCancelPrintThePaymentForm();
    void englishOperatorTexts();
    void cashierInterrupts_data();
    void cashierInterrupts();
    void badInput_data();
    void badInput();

private:
    QStringList tillArguments(const QString &queueFile) const;
    TillRun runTill(const QStringList &arguments, const QByteArray &input = QByteArray());
    int statusRequests() const;
    QString writeFile(const QString &name, const QByteArray &content);

    QTemporaryDir m_dir;
    zorviksim::Simulator m_simulator;
};

void TillTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(m_simulator.start());
    writeFile(QStringLiteral("zorvikcpqr.ini"),
              QStringLiteral("[zorvikcpqr]\nurl=%1\nstatusRequestInterval=0\nstatusRequestDelay=0\n"
                             "apiKey=secret-key\n")
                  .arg(m_simulator.baseUrl())
                  .toUtf8());
    writeFile(QStringLiteral("receipt.json"),
              R"({"shopCode": 12, "cashCode": 3, "posId": "0003", "cashierId": 42,
                  "positions": [{"barcode": "4601234567890", "posnum": 1, "name": "Молоко 1 л",
                                 "quantity": 1.5, "sum": 100.0}]})");
}

QString TillTest::writeFile(const QString &name, const QByteArray &content)
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(file.fileName()));
    file.write(content);
    return file.fileName();
}

QStringList TillTest::tillArguments(const QString &queueFile) const
{
    return {QStringLiteral("--json"),
            QStringLiteral("--config"),
            m_dir.filePath(QStringLiteral("zorvikcpqr.ini")),
            QStringLiteral("--receipt"),
            m_dir.filePath(QStringLiteral("receipt.json")),
            QStringLiteral("--queue"),
            m_dir.filePath(queueFile)};
}

int TillTest::statusRequests() const
{
    int count = 0;
    for (const zorviksim::ReceivedRequest &request : m_simulator.receivedRequests())
        count += request.path == QLatin1String("/cpqr/operation/result");
    return count;
}

TillRun TillTest::runTill(const QStringList &arguments, const QByteArray &input)
{
    QProcess till;
    till.start(QStringLiteral(ZORVIK_BUILD_DIR "/zorvik-till"),
               tillArguments(QStringLiteral("queue.sqlite")) + arguments);
    till.write(input);
    till.closeWriteChannel();
    TillRun run;
    if (!till.waitForFinished(60000))
        return run;
    run.exitCode = till.exitCode();
    run.errors = QString::fromUtf8(till.readAllStandardError());
    for (const QByteArray &line : till.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty())
            run.results.append(QJsonDocument::fromJson(line).object());
    }
    return run;
}

void TillTest::scriptedSession()
{
    const TillRun run = runTill({},
                                QByteArrayLiteral("# a cashier's session\n"
                                                  "info\n"
                                                  "scan ZVQR-PAY2\n"
                                                  "\n"
                                                  "pay 15050\n"
                                                  "pay 1000 ZVQR-DROPSTATUS1\n"
                                                  "queue list\n"
                                                  "queue run\n"
                                                  "card add 7700123\n"
                                                  "card delete 7700123\n"
                                                  "document cancel\n"
                                                  "params\n"
                                                  "message 0\n"
                                                  "message 5\n"));
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.results.size(), 12);
    QVERIFY2(!run.errors.contains(QLatin1String("secret-key")), "the api key reached the log");

    const QJsonObject info = run.results.at(0);
    QCOMPARE(info.value(QStringLiteral("iid")).toString(),
             QStringLiteral("ZorvikCpqrRegisterFactory"));
    QCOMPARE(info.value(QStringLiteral("settings"))[QStringLiteral("apiKeySet")].toBool(), true);

    const QJsonObject scan = run.results.at(1);
    QCOMPARE(keys(scan),
             (QStringList{"accepted", "cardNumbers", "command", "failureText", "recognized"}));
    QVERIFY(scan.value(QStringLiteral("accepted")).toBool());

    const QJsonObject paid = run.results.at(2);
    QCOMPARE(keys(paid),
             (QStringList{"additionalData", "command", "message", "operationId", "status"}));
    QCOMPARE(paid.value(QStringLiteral("status")).toInt(), 0);
    QCOMPARE(paid.value(QStringLiteral("message")).toObject(),
             (QJsonObject{{"id", ""}, {"text", ""}}));

    const QJsonObject failed = run.results.at(3);
    QCOMPARE(failed.value(QStringLiteral("status")).toInt(), 1);
    const QString failedOrder = failed.value(QStringLiteral("operationId")).toString();

    const QJsonArray queued = run.results.at(4).value(QStringLiteral("messages")).toArray();
    QCOMPARE(queued.size(), 1);
    QCOMPARE(keys(queued.at(0).toObject()), (QStringList{"attempts", "id", "message", "queue"}));
    QCOMPARE(queued
                 .at(0)[QStringLiteral("message")][QStringLiteral("request")]
                       [QStringLiteral("operationId")]
                 .toString(),
             failedOrder);

    QCOMPARE(run.results.at(5),
             (QJsonObject{{"command", "queue run"}, {"delivered", 1}, {"failed", 0}}));
    QCOMPARE(run.results.at(6), (QJsonObject{{"command", "card add"}}));
    QCOMPARE(run.results.at(7), (QJsonObject{{"command", "card delete"}}));
    QCOMPARE(run.results.at(8), (QJsonObject{{"command", "document cancel"}}));
    QCOMPARE(run.results.at(9).value(QStringLiteral("imagePath")).toString(),
             QStringLiteral(":/zorvikcpqr/scan_token.png"));
    QCOMPARE(run.results.at(10).value(QStringLiteral("message"))[QStringLiteral("id")].toString(),
             QStringLiteral("zorvikCpqrCheckMessage"));
    QCOMPARE(run.results.at(11).value(QStringLiteral("message"))[QStringLiteral("id")].toString(),
             QStringLiteral("zorvikTillMessage"));

    const TillRun status = runTill({QStringLiteral("status"), failedOrder});
    QCOMPARE(status.exitCode, 0);
    const QJsonObject order = status.results.value(0);
    QCOMPARE(keys(order),
             (QStringList{"cart", "command", "error", "errorCode", "result", "status"}));
    QCOMPARE(order.value(QStringLiteral("status")).toInt(), 1);
    QCOMPARE(order.value(QStringLiteral("result")).toBool(), true);
}

void TillTest::refundAndCancelPrintThePaymentForm()
{
    const TillRun paid
        = runTill({QStringLiteral("pay"), QStringLiteral("15000"), QStringLiteral("ZVQR")});
    const QString operationId
        = paid.results.value(0).value(QStringLiteral("operationId")).toString();
    QVERIFY(!operationId.isEmpty());

    const TillRun refund = runTill({QStringLiteral("refund"), operationId, QStringLiteral("5000")});
    QCOMPARE(refund.results.value(0).value(QStringLiteral("command")).toString(),
             QStringLiteral("refund"));
    QCOMPARE(refund.results.value(0).value(QStringLiteral("status")).toInt(), 0);

    const TillRun cancel
        = runTill({QStringLiteral("cancel"), operationId, QStringLiteral("10000")});
    QCOMPARE(cancel.results.value(0).value(QStringLiteral("command")).toString(),
             QStringLiteral("cancel"));
    QCOMPARE(cancel.results.value(0).value(QStringLiteral("status")).toInt(), 0);

    // Nothing is left to return: the service refuses, which is a result, not a tool error.
    const TillRun again = runTill({QStringLiteral("cancel"), operationId, QStringLiteral("100")});
    QCOMPARE(again.exitCode, 0);
    QCOMPARE(again.results.value(0).value(QStringLiteral("status")).toInt(), 1);

    const TillRun defer = runTill({QStringLiteral("defer"), operationId, QStringLiteral("100")});
    QCOMPARE(defer.results.value(0), (QJsonObject{{"command", "defer"}}));
}

void TillTest::cashierInterrupts_data()
{
    QTest::addColumn<bool>("byCtrlC");
    QTest::newRow("--interrupt-after") << false;
    QTest::newRow("Ctrl-C") << true;
}

void TillTest::cashierInterrupts()
{
    QFETCH(bool, byCtrlC);
    const int statusRequestsBefore = statusRequests();
    QProcess till;
    const QString queue = QStringLiteral("interrupted-%1.sqlite").arg(QTest::currentDataTag());
    QStringList arguments = tillArguments(queue);
    if (!byCtrlC)
        arguments << QStringLiteral("--interrupt-after") << QStringLiteral("0.5");
    till.start(QStringLiteral(ZORVIK_BUILD_DIR "/zorvik-till"),
               arguments << QStringLiteral("pay") << QStringLiteral("1000")
                         << QStringLiteral("ZVQR-NEVER"));
    if (byCtrlC) {
        // The payment waits once the service has been asked for the order's state.
        QTRY_VERIFY_WITH_TIMEOUT(statusRequests() > statusRequestsBefore, 20000);
        ::kill(till.processId(), SIGINT);
    }
    QVERIFY(till.waitForFinished(20000));
    QCOMPARE(till.exitCode(), 0);
    const QJsonObject result = QJsonDocument::fromJson(till.readAllStandardOutput()).object();
    QCOMPARE(result.value(QStringLiteral("status")).toInt(), 2);

    // The abandoned order's cancellation waits in the queue.
    const TillRun queued = runTill({QStringLiteral("--queue"),
                                    m_dir.filePath(queue),
                                    QStringLiteral("queue"),
                                    QStringLiteral("list")});
    QCOMPARE(queued.results.value(0).value(QStringLiteral("messages")).toArray().size(), 1);
}

void TillTest::englishOperatorTexts()
{
    const TillRun run = runTill({QStringLiteral("--lang"),
                                 QStringLiteral("en"),
                                 QStringLiteral("message"),
                                 QStringLiteral("0")});
    QCOMPARE(
        run.results.value(0).value(QStringLiteral("message"))[QStringLiteral("text")].toString(),
        QStringLiteral("Processing the Zorvik Pay QR code"));
}

void TillTest::badInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown command") << QStringList{"dance"} << "unknown command 'dance'";
    QTest::newRow("unknown option") << QStringList{"--colour", "info"} << "Unknown option 'colour'";
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
    const TillRun run = runTill(arguments);
    QCOMPARE(run.exitCode, 2);
    QFETCH(QString, error);
    QVERIFY2(run.errors.contains(error), qPrintable(run.errors));
    QVERIFY(run.results.isEmpty());
}

QTEST_GUILESS_MAIN(TillTest)
#include "tst_till.moc"
