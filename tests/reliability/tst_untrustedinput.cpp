// What the till must not trust or give away: the configured secrets stay out of the log and the
// queue, and an https service must show a certificate the till can verify.

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

} // namespace

class UntrustedInputTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void secretsStayInTheConfiguration();
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
    const QString logPath = m_dir.filePath(QStringLiteral("secrets.log"));
    Log4Qt::StreamAppender log(logPath); // as the host's file appender writes it
    Log4Qt::LogManager::addAppender(&log);
    const Finally detachLog([&log] { Log4Qt::LogManager::removeAppender(&log); });
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

    const QByteArray logged = fileContents(logPath);
    QVERIFY(logged.contains("DEBUG") && logged.contains("HTTP POST")
            && logged.contains("127.0.0.1"));
    const QByteArray written
        = logged + fileContents(Singleton<DBQueueBroker>::instance->databasePath());
    for (const QString &secret : {ApiKey, UserToken, UrlPassword})
        QVERIFY2(!written.contains(secret.toUtf8()), qPrintable(secret));
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

    const QString pay = QStringLiteral("ZVQR-PAY1");
    const QString refused = QStringLiteral("restClientTlsError");
    QTest::newRow("system's authorities") << QString() << pay << Status::Failure << refused;
    QTest::newRow("another authority") << "other.pem" << pay << Status::Failure << refused;
    QTest::newRow("the service's authority") << "server.pem" << pay << Status::Success << "";
    // A fault of the service over TLS is told apart from a certificate it cannot prove.
    QTest::newRow("the service's authority, status answer dropped")
        << "server.pem" << pay + "-STATUSDROP1" << Status::Failure << "restClientConnectionBroken";
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
