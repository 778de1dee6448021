// The plug-in as the host sees it: metadata, factory, casts, resources, declarations, set-up.

#include "PluginTestBench.h"

#include "host/BcodeParser.h"
#include "host/payment/AbstractProcessingFactory.h"
#include "host/payment/BasicSbpProcessing.h"

#include <QImage>
#include <QPluginLoader>
#include <QTest>

class PluginTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hostSeesAQrCodeProcessing();
    void configuration_data();
    void configuration();
};

void PluginTest::hostSeesAQrCodeProcessing()
{
    QPluginLoader loader(PluginTestBench::pluginPath());
    QCOMPARE(loader.instance()->metaObject()->className(),
             "zorvikcpqr::ZorvikCpqrProcessingFactory");
    QCOMPARE(QImage(":/zorvikcpqr/scan_token.png").size(), QSize(453, 350));

    PluginTestBench bench;
    BasicSbpProcessing *processing = bench.createProcessing();
    QObject *object = dynamic_cast<QObject *>(processing);
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

    // Each processing keeps its own session: the code is asked again only of the other.
    QVERIFY(processing->processCpqr("ZVQR-NEVER").accepted);
    QVERIFY(!processing->checkOption(processing::RequestPaymentCode));
    QVERIFY(bench.createProcessing()->checkOption(processing::RequestPaymentCode));
}

void PluginTest::configuration_data()
{
    QTest::addColumn<QVariantMap>("settings");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QStringList>("lines");   // the processing's, in full
    QTest::addColumn<QString>("paymentCode"); // recognised as one; none with an invalid mask
    QTest::addColumn<QString>("otherCode");   // recognised as none

    const QString noted("DEBUG  интервал запроса статуса (сек): %1|"
                        "DEBUG  задержка запроса статуса (сек): %2");
    QTest::newRow("defaults") << QVariantMap{{"statusRequestInterval", {}},
                                             {"statusRequestDelay", {}}}
                              << "^(?<sbpCpqr>ZVQR.*)$" << noted.arg(10).arg(5).split('|') << "ZVQR"
                              << " ZVQR";
    QTest::newRow("custom mask") << QVariantMap{{"statusRequestInterval", 3},
                                                {"paymentCodeMask", "^PAY-[0-9]+$"}}
                                 << "^PAY-[0-9]+$" << noted.arg(3).arg(0).split('|') << "PAY-7"
                                 << "ZVQR-PAY1";
    QTest::newRow("invalid mask") << QVariantMap{{"statusRequestDelay", -2},
                                                 {"paymentCodeMask", "("}}
                                  << "("
                                  << noted.arg(0).arg(-2).split('|')
                                         + QStringList{"ERROR Некорректное значение параметра "
                                                       "ZorvikCpqr:paymentCodeMask"}
                                  << QString() << "ZVQR";
}

// The mask is offered to the scan dialog, registered with the host's barcode parser as a
// payment code, and tells which scanned codes open a session.
void PluginTest::configuration()
{
    QFETCH(QVariantMap, settings);
    QFETCH(QString, paymentCode);
    QFETCH(QString, otherCode);
    PluginTestBench bench;
    bench.configure(settings);
    BasicSbpProcessing *processing = bench.createProcessing();
    QTEST(bench.processingLog(), "lines");
    const QList<QRegularExpression> patterns = processing->getScanQrParams().codePatterns;
    QCOMPARE(patterns.size(), 1);
    QTEST(patterns.first().pattern(), "mask");
    const BcodeParser *parser = Singleton<BcodeParser>::instance;
    QCOMPARE(parser->patternCount(), int(!paymentCode.isEmpty()));
    QCOMPARE(parser->kindOf(paymentCode), paymentCode.isEmpty() ? BcodeParser::UnknownKind : 32);
    QCOMPARE(processing->processCpqr(paymentCode).accepted, !paymentCode.isEmpty());
    QVERIFY(!processing->processCpqr(otherCode).recognized);
    QCOMPARE(bench.requests("/cpqr/start_session").size(), int(!paymentCode.isEmpty()));
}

QTEST_GUILESS_MAIN(PluginTest)
#include "tst_plugin.moc"
