// The carts sent with orders and returns, for receipts of 10 to 1,000 positions: a till's
// receipts hold tens to a few hundred. Each composition reads the open receipt anew, as an order
// or a return does; the fitted complexity shows how the cost grows with the receipt.

#include "support/SampleOrder.h"

#include "api/Interface.h"
#include "api/OperationResult.h"

#include "host/AbstractDocument.h"

#include <QJsonArray>

#include <benchmark/benchmark.h>

namespace {

void reportPerPosition(benchmark::State &state, int positions)
{
    state.SetComplexityN(positions);
    state.counters["per_position"] = benchmark::Counter(
        positions, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

bool listsEveryPosition(const QJsonObject &cart, int positions)
{
    return cart.value(QStringLiteral("items")).toArray().size() == positions;
}

void BM_SaleCart(benchmark::State &state)
{
    const int positions = static_cast<int>(state.range(0));
    const auto receipt = SampleOrder::openReceipt(positions);
    const zorvikcpqr::Interface client;
    const double amount = double(SampleOrder::totalKopecks(*receipt)) / 100.0;
    if (!listsEveryPosition(client.getCart(amount), positions)) {
        state.SkipWithError("the sale cart does not list every position");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(client.getCart(amount));
    reportPerPosition(state, positions);
}

void BM_RefundCart(benchmark::State &state)
{
    const int positions = static_cast<int>(state.range(0));
    const auto receipt = SampleOrder::openReceipt(positions);
    const zorvikcpqr::Interface client;
    zorvikcpqr::OperationResult paidOrder;
    paidOrder.json = SampleOrder::paidStatusAnswer(
        client.getCart(double(SampleOrder::totalKopecks(*receipt)) / 100.0));
    const QJsonObject refundCart = client.formReturnCart(paidOrder);
    const QJsonValue lastPrice
        = refundCart[QStringLiteral("items")][positions - 1][QStringLiteral("itemPrice")];
    if (!listsEveryPosition(refundCart, positions) || lastPrice.toDouble() <= 0.0) {
        state.SkipWithError("the refund cart does not price every position");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(client.formReturnCart(paidOrder));
    reportPerPosition(state, positions);
}

void receiptSizes(benchmark::internal::Benchmark *benchmark)
{
    benchmark->ArgName("positions")->Arg(10)->Arg(100)->Arg(1000);
    benchmark->Unit(benchmark::kMillisecond)->UseRealTime()->Complexity();
    // The median of several repetitions keeps a burst of other work on the machine out of the
    // figure.
    benchmark->Repetitions(5)->DisplayAggregatesOnly();
}

} // namespace

BENCHMARK(BM_SaleCart)->Apply(receiptSizes);
BENCHMARK(BM_RefundCart)->Apply(receiptSizes);
