// The plug-in as the host sees it: loading, metadata, factory, casts, resources and set-up.

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
    void loadsAsTheHostExpects();
    void declaresWhatItServes();
    void castNames();
    void configuration_data();
    void configuration();
    void initTwiceSendsOneApiKey();
};

void PluginTest::loadsAsTheHostExpects()
{
    QPluginLoader loader(PluginTestBench::pluginPath());
    const QJsonObject metaData = loader.metaData();
    QCOMPARE(metaData.value(QStringLiteral("IID")).toString(),
             QStringLiteral("ZorvikCpqrRegisterFactory"));
    QVERIFY(metaData.value(QStringLiteral("MetaData")).toObject().isEmpty());
    QObject *root = loader.instance();
    QVERIFY2(qobject_cast<AbstractProcessingFactory *>(root), qPrintable(loader.errorString()));
    QCOMPARE(QByteArray(root->metaObject()->className()),
             QByteArray("zorvikcpqr::ZorvikCpqrProcessingFactory"));

    const QImage picture(QStringLiteral(":/zorvikcpqr/scan_token.png"));
    QCOMPARE(picture.size(), QSize(453, 350));
    QVERIFY(picture.hasAlphaChannel());
}

void PluginTest::declaresWhatItServes()
{
    PluginTestBench bench;
    BasicSbpProcessing *first = bench.createProcessing();
    BasicSbpProcessing *second = bench.createProcessing();
    QVERIFY(first->isPaymentEnable(PaymentProcessingRequest::Sale));
    QVERIFY(first->isPaymentEnable(PaymentProcessingRequest::Refund));
    QVERIFY(first->isCancelEnable(PaymentProcessingRequest::Sale));
    QVERIFY(!first->isCancelEnable(PaymentProcessingRequest::Refund));
    QVERIFY(first->checkOption(EPaymentProcessingOption::QrCodePayment));
    QVERIFY(first->checkOption(processing::ProcessingEnabled));
    QVERIFY(first->checkSbpOption(processing::CustomerPresentedQr));

    // Each processing keeps its own session: the code is asked again only of the other.
    QVERIFY(first->processCpqr(QStringLiteral("ZVQR-NEVER")).accepted);
    QVERIFY(!first->checkOption(processing::RequestPaymentCode));
    QVERIFY(second->checkOption(processing::RequestPaymentCode));
}

void PluginTest::castNames()
{
    PluginTestBench bench;
    BasicSbpProcessing *processing = bench.createProcessing();
    QObject *object = dynamic_cast<QObject *>(processing);
    QVERIFY(object);
    QCOMPARE(QByteArray(object->metaObject()->className()), QByteArray("zorvikcpqr::Processing"));
    QCOMPARE(object->qt_metacast("TarvoPaymentProcessing/1.0"), static_cast<void *>(processing));
    QCOMPARE(qobject_cast<BasicPaymentProcessing *>(object), processing);
}

void PluginTest::configuration_data()
{
    QTest::addColumn<QVariantMap>("settings");
    QTest::addColumn<qint64>("interval");
    QTest::addColumn<qint64>("delay");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QStringList>("lines");   // the processing's, in full
    QTest::addColumn<QString>("paymentCode"); // recognised as one when the mask is valid
    QTest::addColumn<QString>("otherCode");   // recognised as none

    const QString noted = QStringLiteral("DEBUG  интервал запроса статуса (сек): %1|"
                                         "DEBUG  задержка запроса статуса (сек): %2");
    const QString defaultMask = QStringLiteral("^(?<sbpCpqr>ZVQR.*)$");
    QTest::newRow("defaults") << QVariantMap{{QStringLiteral("statusRequestInterval"), QVariant()},
                                             {QStringLiteral("statusRequestDelay"), QVariant()}}
                              << qint64(10000) << qint64(5) << defaultMask
                              << noted.arg(10).arg(5).split('|') << "ZVQR"
                              << " ZVQR";
    QTest::newRow("custom mask") << QVariantMap{{QStringLiteral("statusRequestInterval"), 3},
                                                {QStringLiteral("paymentCodeMask"),
                                                 QStringLiteral("^PAY-[0-9]+$")}}
                                 << qint64(3000) << qint64(0) << "^PAY-[0-9]+$"
                                 << noted.arg(3).arg(0).split('|') << "PAY-7"
                                 << "ZVQR-PAY1";
    QTest::newRow("invalid mask")
        << QVariantMap{{QStringLiteral("statusRequestDelay"), -2},
                       {QStringLiteral("paymentCodeMask"), QStringLiteral("(")}}
        << qint64(0) << qint64(-2) << "("
        << (noted.arg(0).arg(-2).split('|')
            << "ERROR Некорректное значение параметра ZorvikCpqr:paymentCodeMask")
        << QString() << "ZVQR";
}

void PluginTest::configuration()
{
    QFETCH(QVariantMap, settings);
    QFETCH(QString, paymentCode);
    PluginTestBench bench;
    bench.configure(settings);
    BasicSbpProcessing *processing = bench.createProcessing();
    QTEST(processing->getStatusRequestsInterval(), "interval");
    QTEST(processing->getStatusRequestDelay(), "delay");
    QTEST(bench.processingLog(), "lines");
    const QList<QRegularExpression> patterns = processing->getScanQrParams().codePatterns;
    QCOMPARE(patterns.size(), 1);
    QTEST(patterns.first().pattern(), "mask");
    const BcodeParser *parser = Singleton<BcodeParser>::instance;
    QCOMPARE(parser->patternCount(), int(!paymentCode.isEmpty()));
    if (!paymentCode.isEmpty()) {
        QCOMPARE(parser->kindOf(paymentCode), 32);
        QVERIFY(processing->processCpqr(paymentCode).accepted);
    }
    QFETCH(QString, otherCode);
    QVERIFY(!processing->processCpqr(otherCode).recognized);
    QCOMPARE(bench.requests(QStringLiteral("/cpqr/start_session")).size(),
             int(!paymentCode.isEmpty()));
}

void PluginTest::initTwiceSendsOneApiKey()
{
    PluginTestBench bench;
    bench.configure({{QStringLiteral("apiKey"), QStringLiteral("first")}});
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.configure({{QStringLiteral("apiKey"), QStringLiteral("second")}});
    processing->init(PaymentProcessingContext());
    QVERIFY(processing->processCpqr(QStringLiteral("ZVQR")).accepted);

    const zorviksim::ReceivedRequest request
        = bench.requests(QStringLiteral("/cpqr/start_session")).value(0);
    int apiKeys = 0;
    for (const auto &[name, value] : request.headers)
        apiKeys += name.compare(QLatin1String("api-key"), Qt::CaseInsensitive) == 0;
    QCOMPARE(apiKeys, 1);
    QCOMPARE(request.header(QStringLiteral("api-key")), QStringLiteral("second"));
    QVERIFY(request.hasHeader(QStringLiteral("user-token")));
    QCOMPARE(request.header(QStringLiteral("Content-Type")), QStringLiteral("application/json"));
}

QTEST_GUILESS_MAIN(PluginTest)
#include "tst_plugin.moc"
