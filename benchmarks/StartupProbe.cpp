#include "StartupProbe.h"

#include "support/BenchTill.h"
#include "support/SilencedLog.h"

#include "host/payment/AbstractProcessingFactory.h"
#include "host/payment/BasicPaymentProcessing.h"

#include <QElapsedTimer>
#include <QPluginLoader>

#include <cstdio>
#include <memory>

int StartupProbe::run(const QString &configPath, const QString &queuePath)
{
    const SilencedLog log;
    BenchTill::prepareHost(configPath, queuePath);

    QElapsedTimer elapsed;
    elapsed.start();
    QPluginLoader loader(BenchTill::pluginPath());
    auto *factory = qobject_cast<AbstractProcessingFactory *>(loader.instance());
    std::unique_ptr<BasicPaymentProcessing> processing(factory ? factory->createProcessing()
                                                               : nullptr);
    if (processing)
        processing->init(PaymentProcessingContext());
    const qint64 nanoseconds = elapsed.nsecsElapsed();

    if (!processing) {
        std::fprintf(stderr, "%s\n", qPrintable(loader.errorString()));
        return 1;
    }
    std::printf("%lld\n", static_cast<long long>(nanoseconds));
    processing.reset();
    BenchTill::releaseHost();
    return 0;
}

QStringList StartupProbe::arguments(const QString &configPath, const QString &queuePath)
{
    return {QString::fromLatin1(Option), configPath, queuePath};
}
