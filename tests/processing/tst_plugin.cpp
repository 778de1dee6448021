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
    void pictureDecodesOnceLoaded();
    void metadataNamesTheFactory();
    void rootObjectIsGuarded();
    void factoryMakesIndependentProcessings();
    void castNames();
    void configuration_data();
    void configuration();
    void invalidMaskRecognisesNoCode();
    void initTwiceSendsOneApiKey();
};

void PluginTest::pictureDecodesOnceLoaded()
{
    QPluginLoader loader(PluginTestBench::pluginPath());
    QVERIFY2(loader.load(), qPrintable(loader.errorString()));
    const QImage picture(QStringLiteral(":/zorvikcpqr/scan_token.png"));
    QCOMPARE(picture.size(), QSize(453, 350));
    QVERIFY(picture.hasAlphaChannel());
}

void PluginTest::metadataNamesTheFactory()
{
    const QJsonObject metaData = QPluginLoader(PluginTestBench::pluginPath()).metaData();
    QCOMPARE(metaData.value(QStringLiteral("IID")).toString(),
             QStringLiteral("ZorvikCpqrRegisterFactory"));
    QCOMPARE(metaData.value(QStringLiteral("className")).toString(),
             QStringLiteral("ZorvikCpqrProcessingFactory"));
    QVERIFY(metaData.value(QStringLiteral("MetaData")).toObject().isEmpty());
}

void PluginTest::rootObjectIsGuarded()
{
    QPluginLoader loader(PluginTestBench::pluginPath());
    QObject *first = loader.instance();
    QVERIFY(first);
    QCOMPARE(loader.instance(), first);
    QCOMPARE(QByteArray(first->metaObject()->className()),
             QByteArray("zorvikcpqr::ZorvikCpqrProcessingFactory"));
    QVERIFY(first->inherits("AbstractProcessingFactory"));

    delete first;
    QObject *second = loader.instance();
    QVERIFY(second);
    QVERIFY(qobject_cast<AbstractProcessingFactory *>(second));
}

void PluginTest::factoryMakesIndependentProcessings()
{
    PluginTestBench bench;
    BasicSbpProcessing *first = bench.createProcessing();
    BasicSbpProcessing *second = bench.createProcessing();
    QVERIFY(first != second);

    QVERIFY(first->processCpqr(QStringLiteral("ZVQR-NEVER")).accepted);
    QVERIFY(!first->checkOption(processing::RequestPaymentCode));
    QVERIFY(second->checkOption(processing::RequestPaymentCode));
    QVERIFY(first->isPaymentEnable(PaymentProcessingRequest::Refund));
    QVERIFY(!first->isCancelEnable(PaymentProcessingRequest::Refund));
    QVERIFY(first->checkOption(EPaymentProcessingOption::QrCodePayment));
    QVERIFY(first->checkSbpOption(processing::CustomerPresentedQr));
}

void PluginTest::castNames()
{
    PluginTestBench bench;
    BasicSbpProcessing *processing = bench.createProcessing();
    QObject *object = dynamic_cast<QObject *>(processing);
    QVERIFY(object);
    QCOMPARE(QByteArray(object->metaObject()->className()), QByteArray("zorvikcpqr::Processing"));

    void *byInterface = object->qt_metacast("TarvoPaymentProcessing/1.0");
    QCOMPARE(byInterface, static_cast<void *>(processing));
    QCOMPARE(object->qt_metacast("BasicSbpProcessing"), byInterface);
    QVERIFY(byInterface != static_cast<void *>(object));
    QCOMPARE(object->qt_metacast("zorvikcpqr::Processing"), static_cast<void *>(object));
    QCOMPARE(object->qt_metacast(nullptr), nullptr);
    QCOMPARE(qobject_cast<BasicPaymentProcessing *>(object), processing);
}

void PluginTest::configuration_data()
{
    QTest::addColumn<QVariantMap>("settings");
    QTest::addColumn<qint64>("interval");
    QTest::addColumn<qint64>("delay");
    QTest::addColumn<QStringList>("expectedLines");

    QTest::newRow("defaults") << QVariantMap{{QStringLiteral("statusRequestInterval"), QVariant()},
                                             {QStringLiteral("statusRequestDelay"), QVariant()}}
                              << qint64(10000) << qint64(5)
                              << QStringList{
                                     QStringLiteral("DEBUG  интервал запроса статуса (сек): 10"),
                                     QStringLiteral("DEBUG  задержка запроса статуса (сек): 5")};
    QTest::newRow("interval 3") << QVariantMap{{QStringLiteral("statusRequestInterval"), 3}}
                                << qint64(3000) << qint64(0)
                                << QStringList{
                                       QStringLiteral("DEBUG  интервал запроса статуса (сек): 3")};
    QTest::newRow("negative delay")
        << QVariantMap{{QStringLiteral("statusRequestDelay"), -2}} << qint64(0) << qint64(-2)
        << QStringList{QStringLiteral("DEBUG  задержка запроса статуса (сек): -2")};
}

void PluginTest::configuration()
{
    QFETCH(QVariantMap, settings);
    PluginTestBench bench;
    bench.configure(settings);
    BasicSbpProcessing *processing = bench.createProcessing();
    QTEST(processing->getStatusRequestsInterval(), "interval");
    QTEST(processing->getStatusRequestDelay(), "delay");
    const QStringList lines = bench.logLines();
    QFETCH(QStringList, expectedLines);
    for (const QString &line : expectedLines)
        QVERIFY2(lines.contains(line), qPrintable(line));
}

void PluginTest::invalidMaskRecognisesNoCode()
{
    PluginTestBench bench;
    bench.configure({{QStringLiteral("paymentCodeMask"), QStringLiteral("(")}});
    BcodeParser *parser = singletonInstance<BcodeParser>();
    const int registered = parser->patternCount();

    BasicSbpProcessing *processing = bench.createProcessing();
    QVERIFY(bench.logLines().contains(
        QStringLiteral("ERROR Некорректное значение параметра ZorvikCpqr:paymentCodeMask")));
    QCOMPARE(parser->patternCount(), registered);
    QVERIFY(!processing->processCpqr(QStringLiteral("ZVQR")).recognized);
    QVERIFY(bench.requests(QStringLiteral("/cpqr/start_session")).isEmpty());
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
    QCOMPARE(request.header(QStringLiteral("user-token")), QString());
    QVERIFY(request.hasHeader(QStringLiteral("user-token")));
    QCOMPARE(request.header(QStringLiteral("Content-Type")), QStringLiteral("application/json"));
}

QTEST_GUILESS_MAIN(PluginTest)
#include "tst_plugin.moc"
