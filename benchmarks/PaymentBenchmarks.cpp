// A whole payment through the plug-in against the simulator: the scanned code opens a session,
// the payment registers the order and asks for its state once, and the service reports it paid.
// Time is the payment's wall time; CPU is the calling thread's, the plug-in's own work with the
// host's REST client, while the simulator answers from threads of its own.

#include "support/BenchTill.h"
#include "support/SampleOrder.h"
#include "support/SilencedLog.h"

#include "api/Constants.h"

#include "host/AbstractDocument.h"
#include "host/log4qt/LogManager.h"
#include "host/log4qt/StreamAppender.h"
#include "host/payment/BasicSbpProcessing.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <optional>

namespace {

// No scenario words: the simulator reports the order paid at the first status request.
const QString PaymentCode = QStringLiteral("ZVQR");

// The till's log at its most talkative, formatted and written to a file as a till writes it.
class DebugLog
{
public:
    DebugLog()
        : m_counted(Log4Qt::Level::Debug)
        , m_written(m_dir.filePath(QStringLiteral("till.log")))
    {
        Log4Qt::LogManager::addAppender(&m_written);
    }
    ~DebugLog() { Log4Qt::LogManager::removeAppender(&m_written); }

    qint64 lines() const { return m_counted.lines(); }

private:
    QTemporaryDir m_dir;
    SilencedLog m_counted;
    Log4Qt::StreamAppender m_written;
};

bool pay(BasicSbpProcessing &processing,
         AbstractDocument &receipt,
         const PaymentProcessingRequest &sale)
{
    const CpqrCheckResult check = processing.processCpqr(PaymentCode);
    // As a till does, the customer's cards of an accepted code go onto the receipt.
    for (const QString &number : check.cardNumbers) {
        if (!receipt.containsCard(number))
            receipt.addCard(number);
    }
    return check.accepted && processing.payment(sale).status == PaymentProcessingResult::Success;
}

void BM_Payment(benchmark::State &state)
{
    BenchTill till;
    BasicSbpProcessing *processing = till.processing();
    if (!processing) {
        state.SkipWithError(qPrintable(till.errorString()));
        return;
    }
    const auto receipt = SampleOrder::openReceipt(static_cast<int>(state.range(0)));
    PaymentProcessingRequest sale;
    sale.type = PaymentProcessingRequest::Sale;
    sale.amount = SampleOrder::totalKopecks(*receipt);
    sale.valutCode = zorvikcpqr::Constants::RoubleCode;

    std::optional<DebugLog> debugLog;
    if (state.range(1) != 0)
        debugLog.emplace();
    for (auto _ : state) {
        if (!pay(*processing, *receipt, sale)) {
            state.SkipWithError("a payment was not paid");
            break;
        }
    }
    if (debugLog)
        state.counters["log_lines"]
            = benchmark::Counter(double(debugLog->lines()), benchmark::Counter::kAvgIterations);
}

} // namespace

BENCHMARK(BM_Payment)
    ->ArgNames({"positions", "debug_log"})
    ->Args({10, 0})
    ->Args({100, 0})
    ->Args({10, 1})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
