// zorvik-bench: what the plug-in costs on its own, as Google Benchmark figures, followed by the
// verdict on every budget whose benchmark ran. Takes Google Benchmark's options and
// --no-budget-check, which reports the budgets without failing the run.
//
//   zorvik-bench                                  every benchmark
//   zorvik-bench --benchmark_filter=Cart          the carts only
//
// The exit code is 1 when a budget was missed.

#include "StartupProbe.h"
#include "support/BudgetReporter.h"
#include "support/SilencedLog.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <cstring>
#include <iostream>

namespace {

constexpr double Milliseconds = 1e-3;

std::vector<BudgetReporter::Budget> budgets()
{
    return {
        {"BM_SaleCart", "positions:1000", "", 5 * Milliseconds, "sale cart of 1,000 positions"},
        {"BM_RefundCart", "positions:1000", "", 5 * Milliseconds, "refund cart of 1,000 positions"},
        {"BM_StatusExchangeVsBareGet",
         "cart_items:1",
         "ratio",
         1.2,
         "status exchange / bare GET, 1 cart item"},
        {"BM_StatusExchangeVsBareGet",
         "cart_items:100",
         "ratio",
         1.2,
         "status exchange / bare GET, 100 cart items"},
        {"BM_JournalVsBareCommits",
         "",
         "ratio",
         1.5,
         "payment journal / two bare synced WAL commits, a payment"},
    };
}

// Takes the option out of the arguments; true when it was there.
bool takeOption(int *argc, char **argv, const char *option)
{
    for (int index = 1; index < *argc; ++index) {
        if (std::strcmp(argv[index], option) == 0) {
            std::memmove(argv + index, argv + index + 1, sizeof(char *) * (*argc - index));
            --*argc;
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], StartupProbe::Option) == 0)
        return StartupProbe::run(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));

    const bool checkBudgets = !takeOption(&argc, argv, "--no-budget-check");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;

    const SilencedLog log;
    BudgetReporter reporter(budgets());
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::cout.flush();
    const bool held = reporter.reportBudgets(std::cout);
    return held || !checkBudgets ? 0 : 1;
}
