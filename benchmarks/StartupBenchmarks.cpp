// The host's start-up with the plug-in: loading it through QPluginLoader, createProcessing and
// init. A till does this once per process, so the first figure is taken in a fresh process each
// time; the others repeat parts of it in one process, where the library stays mapped.

#include "StartupProbe.h"
#include "support/BenchTill.h"

#include "host/payment/AbstractProcessingFactory.h"
#include "host/payment/BasicPaymentProcessing.h"

#include <QCoreApplication>
#include <QPluginLoader>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

void BM_StartupInFreshProcess(benchmark::State &state)
{
    BenchTill till;
    for (auto _ : state) {
        QProcess probe;
        probe.start(QCoreApplication::applicationFilePath(),
                    StartupProbe::arguments(till.configPath(), till.queuePath()));
        bool measured = false;
        const qint64 nanoseconds
            = probe.waitForFinished(30000) && probe.exitCode() == 0
                  ? probe.readAllStandardOutput().trimmed().toLongLong(&measured)
                  : 0;
        if (!measured) {
            state.SkipWithError("the start-up probe failed");
            break;
        }
        state.SetIterationTime(double(nanoseconds) * 1e-9);
    }
}

void BM_StartupInSameProcess(benchmark::State &state)
{
    BenchTill till;
    for (auto _ : state) {
        QPluginLoader loader(BenchTill::pluginPath());
        auto *factory = qobject_cast<AbstractProcessingFactory *>(loader.instance());
        const std::unique_ptr<BasicPaymentProcessing> processing(
            factory ? factory->createProcessing() : nullptr);
        if (!processing) {
            state.SkipWithError(qPrintable(loader.errorString()));
            break;
        }
        processing->init(PaymentProcessingContext());
    }
}

void BM_CreateProcessingAndInit(benchmark::State &state)
{
    BenchTill till;
    QPluginLoader loader(BenchTill::pluginPath());
    auto *factory = qobject_cast<AbstractProcessingFactory *>(loader.instance());
    if (!factory) {
        state.SkipWithError(qPrintable(loader.errorString()));
        return;
    }
    for (auto _ : state) {
        const std::unique_ptr<BasicPaymentProcessing> processing(factory->createProcessing());
        processing->init(PaymentProcessingContext());
    }
}

} // namespace

BENCHMARK(BM_StartupInFreshProcess)->Iterations(20)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StartupInSameProcess)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CreateProcessingAndInit)->Unit(benchmark::kMicrosecond);
