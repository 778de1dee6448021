// The plug-in as the host sees it: metadata, factory, casts, resources, declarations, set-up.

#include "PluginTestBench.h"

#include "host/BcodeParser.h"
#include "host/payment/AbstractProcessingFactory.h"
#include "host/payment/BasicSbpProcessing.h"

#include <QImage>
#include <QTest>

class PluginTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void configuration_data();
    void configuration();
};

void PluginTest::configuration_data()
{
    QTest::addColumn<QVariantMap>("settings");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("log");         // the processing's, in full
    QTest::addColumn<QString>("paymentCode"); // recognised as one; none with an invalid mask
    QTest::addColumn<QString>("otherCode");   // recognised as none

    const QString noted("DEBUG  интервал запроса статуса (сек): %1\n"
                        "DEBUG  задержка запроса статуса (сек): %2\n");
    QTest::newRow("defaults") << QVariantMap{{"statusRequestInterval", {}},
                                             {"statusRequestDelay", {}}}
                              << "^(?<sbpCpqr>ZVQR.*)$" << noted.arg(10).arg(5) << "ZVQR"
                              << " ZVQR";
    QTest::newRow("custom mask") << QVariantMap{{"statusRequestInterval", 3},
                                                {"paymentCodeMask", "^PAY-[0-9]+$"}}
                                 << "^PAY-[0-9]+$" << noted.arg(3).arg(0) << "PAY-7"
                                 << "ZVQR-PAY1";
    QTest::newRow("invalid mask")
        << QVariantMap{{"statusRequestDelay", -2}, {"paymentCodeMask", "("}} << "("
        << noted.arg(0).arg(-2)
               + "ERROR Некорректное значение параметра ZorvikCpqr:paymentCodeMask\n"
        << QString() << "ZVQR";
}

// Whatever its settings, the host finds a processing by QR code that it pays and refunds with
// and cancels sales by. The mask is offered to the scan dialog, registered with the host's
// barcode parser as a payment code, and tells which scanned codes open a session.
void PluginTest::configuration()
{
    QFETCH(QVariantMap, settings);
    QFETCH(QString, paymentCode);
    QFETCH(QString, otherCode);
    PluginTestBench bench;
    bench.configure(settings);
    BasicSbpProcessing *processing = bench.createProcessing();
    QTEST(bench.processingLog(), "log");
    QObject *object = dynamic_cast<QObject *>(processing);
    QCOMPARE(QPluginLoader(PluginTestBench::pluginPath()).instance()->metaObject()->className(),
             "zorvikcpqr::ZorvikCpqrProcessingFactory");
    QCOMPARE(QImage(":/zorvikcpqr/scan_token.png").size(), QSize(453, 350));
    QCOMPARE(object->metaObject()->className(), "zorvikcpqr::Processing");
    QCOMPARE(object->qt_metacast("TarvoPaymentProcessing/1.0"), static_cast<void *>(processing));
    QCOMPARE(qobject_cast<BasicPaymentProcessing *>(object), processing);
    QVERIFY(processing->isPaymentEnable(PaymentProcessingRequest::Sale));
    QVERIFY(processing->isPaymentEnable(PaymentProcessingRequest::Refund));
    QVERIFY(processing->isCancelEnable(PaymentProcessingRequest::Sale));
    QVERIFY(!processing->isCancelEnable(PaymentProcessingRequest::Refund));
    QVERIFY(processing->checkOption(EPaymentProcessingOption::QrCodePayment));
    QVERIFY(processing->checkOption(processing::ProcessingEnabled));
    QVERIFY(processing->checkSbpOption(processing::CustomerPresentedQr));

    const QList<QRegularExpression> patterns = processing->getScanQrParams().codePatterns;
    QCOMPARE(patterns.size(), 1);
    QTEST(patterns.first().pattern(), "mask");
    const BcodeParser *parser = Singleton<BcodeParser>::instance;
    QCOMPARE(parser->patternCount(), int(!paymentCode.isEmpty()));
    QCOMPARE(parser->kindOf(paymentCode), paymentCode.isEmpty() ? BcodeParser::UnknownKind : 32);
    QCOMPARE(processing->processCpqr(paymentCode).accepted, !paymentCode.isEmpty());
    QVERIFY(!processing->processCpqr(otherCode).recognized);
    QCOMPARE(bench.requests("/cpqr/start_session").size(), int(!paymentCode.isEmpty()));
    // Each processing keeps its own session: the code is asked again only of the other.
    QCOMPARE(processing->checkOption(processing::RequestPaymentCode), paymentCode.isEmpty());
    QVERIFY(bench.createProcessing()->checkOption(processing::RequestPaymentCode));
}

QTEST_GUILESS_MAIN(PluginTest)
#include "tst_plugin.moc"
