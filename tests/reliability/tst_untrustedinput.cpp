// What the till must not trust: an https service must show a certificate the till can verify.

#include "tests/processing/PluginTestBench.h"

#include "host/Finally.h"
#include "host/RestClient.h"
#include "host/payment/BasicSbpProcessing.h"

#include <QProcess>
#include <QTest>

using Status = PaymentProcessingResult::Status;

class UntrustedInputTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
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
    bench.openStandardReceipt();

    const PaymentProcessingResult result = processing->payment(
        PluginTestBench::request(PaymentProcessingRequest::Sale, 15050, code));
    QTEST(Status(result.status), "status");
    QTEST(result.message.id(), "messageId");
    // A service that cannot prove who it is learns nothing of the payment.
    QCOMPARE(bench.simulator().receivedRequests().isEmpty(),
             result.message.id() == QLatin1String("restClientTlsError"));
    QCOMPARE(bench.queuedMessages().size(), code.contains(QLatin1String("DROP")) ? 1 : 0);
}

QTEST_GUILESS_MAIN(UntrustedInputTest)
#include "tst_untrustedinput.moc"
