// What the till must not trust or give away: the configured secrets stay out of the log and the
// queue, scanned codes and the service's texts cannot forge log lines, and an https service must
// show a certificate the till can verify.

#include "tests/processing/PluginTestBench.h"

#include "host/DBQueueBroker.h"
#include "host/Finally.h"
#include "host/RestClient.h"
#include "host/log4qt/LogManager.h"
#include "host/log4qt/StreamAppender.h"
#include "host/payment/BasicSbpProcessing.h"
#include "host/payment/PaymentProcessingContext.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using Status = PaymentProcessingResult::Status;

namespace {

const QString ApiKey = QStringLiteral("api-4b1d-7c2e-secret");
const QString UserToken = QStringLiteral("token-90fe-31aa-secret");
const QString UrlPassword = QStringLiteral("pw-c0ffee-secret");

PaymentProcessingRequest
sale(qint64 amount, const QString &paymentCode = QString(), const QString &operationId = QString())
{
    return PluginTestBench::request(
        PaymentProcessingRequest::Sale, amount, paymentCode, operationId);
}

QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every line written to a log file while it lives, as the host's file appender writes them.
class LogFile
{
public:
    explicit LogFile(const QString &path)
        : m_path(path)
        , m_appender(path)
    {
        Log4Qt::LogManager::addAppender(&m_appender);
    }
    ~LogFile() { Log4Qt::LogManager::removeAppender(&m_appender); }

    QByteArray contents() const { return fileContents(m_path); }

private:
    QString m_path;
    Log4Qt::StreamAppender m_appender;
};

} // namespace

class UntrustedInputTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void secretsStayInTheConfiguration();
    void textCannotStartALogLine_data();
    void textCannotStartALogLine();
    void httpsVerifiesTheServiceCertificate_data();
    void httpsVerifiesTheServiceCertificate();

private:
    bool makeCertificate(const QString &name);

    QTemporaryDir m_dir;
};

// Certificates for 127.0.0.1 that sign themselves: the service's, which a row trusts, and
// another one.
void UntrustedInputTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(makeCertificate(QStringLiteral("server")));
    QVERIFY(makeCertificate(QStringLiteral("other")));
}

// Whole flows at debug level, successful and failing, with the service refusing a stale key;
// the service address carries credentials of its own, and the log shows the address.
void UntrustedInputTest::secretsStayInTheConfiguration()
{
    zorviksim::SimulatorOptions options;
    options.apiKey = ApiKey;
    options.userToken = UserToken;
    PluginTestBench bench(options);
    const LogFile log(m_dir.filePath(QStringLiteral("secrets.log")));
    QUrl url(bench.simulator().baseUrl());
    url.setUserName(QStringLiteral("till"));
    url.setPassword(UrlPassword);
    QVariantMap settings{{QStringLiteral("url"), url.toString()},
                         {QStringLiteral("apiKey"), ApiKey},
                         {QStringLiteral("userToken"), UserToken}};
    bench.configure(settings);
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openReceipt({{QStringLiteral("Молоко"), 100.0}, {QStringLiteral("Хлеб"), 50.5}});

    QVERIFY(processing->processCpqr(QStringLiteral("ZVQR-PAY2")).accepted);
    const PaymentProcessingResult paid
        = processing->payment(sale(15050, QStringLiteral("ZVQR-PAY2")));
    QCOMPARE(paid.status, Status::Success);
    QCOMPARE(processing->cancel(sale(15050, QString(), paid.operationId)).status, Status::Success);
    const PaymentProcessingResult lost
        = processing->payment(sale(15050, QStringLiteral("ZVQR-DROPSTATUS1")));
    QCOMPARE(lost.status, Status::Failure);
    QCOMPARE(bench.runQueue(processing), 1);

    settings.insert(QStringLiteral("apiKey"), QString(QStringLiteral("stale-") + ApiKey));
    bench.configure(settings);
    processing->init(PaymentProcessingContext());
    QCOMPARE(processing->payment(sale(15050, QStringLiteral("ZVQR"))).message.id(),
             QStringLiteral("zorvikCpqrError401"));

    const QByteArray logged = log.contents();
    QVERIFY(logged.contains("DEBUG") && logged.contains("HTTP POST")
            && logged.contains("127.0.0.1"));
    const QByteArray written
        = logged + fileContents(Singleton<DBQueueBroker>::instance->databasePath());
    for (const QString &secret : {ApiKey, UserToken, UrlPassword})
        QVERIFY2(!written.contains(secret.toUtf8()), qPrintable(secret));
}

void UntrustedInputTest::textCannotStartALogLine_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("addressPath");
    QTest::addColumn<QString>("shown");

    QTest::newRow("carriage return and line feed")
        << "ZVQR-PAY1\r\n2026-01-01 00:00:00.000 INFO zorvikcpqr forged" << QString()
        << R"('ZVQR-PAY1\r\n2026-01-01 00:00:00.000 INFO zorvikcpqr forged')";
    // The service's error text quotes the path it was asked for, line break and all.
    QTest::newRow("service error text") << "ZVQR-PAY1"
                                        << "x%0AERROR%20forged/"
                                        << R"(POST /x\nERROR forged/cpqr/start_session')";
}

void UntrustedInputTest::textCannotStartALogLine()
{
    QFETCH(QString, code);
    QFETCH(QString, addressPath);
    PluginTestBench bench;
    if (!addressPath.isEmpty())
        bench.configure(
            {{QStringLiteral("url"), QString(bench.simulator().baseUrl() + addressPath)}});
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.clearLog();
    const LogFile log(m_dir.filePath(QStringLiteral("forged-%1.log").arg(QTest::currentDataTag())));

    processing->processCpqr(code);

    const QStringList lines = QString::fromUtf8(log.contents()).split(QLatin1Char('\n'));
    QCOMPARE(lines.last(), QString()); // the file ends with a line break
    QCOMPARE(lines.size() - 1, bench.logLines().size());
    const QRegularExpression linePattern(QStringLiteral(
        "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} (DEBUG|INFO|WARN|ERROR) \\S+ "));
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        QVERIFY2(linePattern.match(lines.at(i)).hasMatch(), qPrintable(lines.at(i)));
    QFETCH(QString, shown);
    QVERIFY2(log.contents().contains(shown.toUtf8()), log.contents().constData());
}

bool UntrustedInputTest::makeCertificate(const QString &name)
{
    QProcess openssl;
    openssl.setWorkingDirectory(m_dir.path());
    openssl.start(QStringLiteral("openssl"),
                  QStringLiteral("req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                                 "-nodes -days 2 -subj /CN=127.0.0.1 -addext "
                                 "subjectAltName=IP:127.0.0.1 -keyout %1.key -out %1.pem")
                      .arg(name)
                      .split(QLatin1Char(' ')));
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) {
        qWarning("openssl: %s", openssl.readAllStandardError().constData());
        return false;
    }
    return true;
}

void UntrustedInputTest::httpsVerifiesTheServiceCertificate_data()
{
    QTest::addColumn<QString>("trustedCertificates");
    QTest::addColumn<QString>("code");
    QTest::addColumn<Status>("status");
    QTest::addColumn<QString>("messageId");

    QTest::newRow("system's authorities")
        << QString() << "ZVQR-PAY1" << Status::Failure << "restClientTlsError";
    QTest::newRow("another authority") << "other.pem"
                                       << "ZVQR-PAY1" << Status::Failure << "restClientTlsError";
    QTest::newRow("the service's authority") << "server.pem"
                                             << "ZVQR-PAY1" << Status::Success << "";
    // A fault of the service over TLS is told apart from a certificate it cannot prove.
    QTest::newRow("the service's authority, status answer dropped")
        << "server.pem"
        << "ZVQR-PAY1-STATUSDROP1" << Status::Failure << "restClientConnectionBroken";
}

void UntrustedInputTest::httpsVerifiesTheServiceCertificate()
{
    QFETCH(QString, trustedCertificates);
    QFETCH(QString, code);
    zorviksim::SimulatorOptions options;
    options.tlsCertificateFile = m_dir.filePath(QStringLiteral("server.pem"));
    options.tlsPrivateKeyFile = m_dir.filePath(QStringLiteral("server.key"));
    PluginTestBench bench(options);
    QVERIFY(bench.simulator().baseUrl().startsWith(QLatin1String("https://127.0.0.1:")));
    RestClient::setCaCertificatesFile(
        trustedCertificates.isEmpty() ? QString() : m_dir.filePath(trustedCertificates));
    const Finally systemAuthorities([] { RestClient::setCaCertificatesFile(QString()); });
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openReceipt({{QStringLiteral("Сыр"), 150.5}});

    const PaymentProcessingResult result = processing->payment(sale(15050, code));
    QTEST(Status(result.status), "status");
    QTEST(result.message.id(), "messageId");
    // A service that cannot prove who it is learns nothing of the payment.
    QCOMPARE(bench.simulator().receivedRequests().isEmpty(),
             result.message.id() == QLatin1String("restClientTlsError"));
    QCOMPARE(bench.queuedMessages().size(), code.contains(QLatin1String("DROP")) ? 1 : 0);
}

QTEST_GUILESS_MAIN(UntrustedInputTest)
#include "tst_untrustedinput.moc"
