// Classifying one exchange and reading its record, for the status answer of a paid order with a
// 100-item cart: the answer that ends a payment and is read for the receipt's refund later.

#include "support/SampleOrder.h"

#include "api/Interface.h"
#include "api/OperationResult.h"

#include "host/AbstractDocument.h"
#include "host/RestClient.h"

#include <QJsonDocument>

#include <benchmark/benchmark.h>

namespace {

using zorvikcpqr::OperationResult;

constexpr int CartItems = 100;

// A finished exchange that brought this answer; it parses the body on every call, as the
// host's client does.
class AnsweredRestClient : public RestClient
{
public:
    explicit AnsweredRestClient(const QByteArray &body)
        : m_body(body)
    {}

    QJsonDocument responseDocument() const override { return QJsonDocument::fromJson(m_body); }
    int lastError() const override { return NoError; }
    bool isTimedOut() const override { return false; }

private:
    QByteArray m_body;
};

QByteArray typicalStatusAnswer()
{
    static const QByteArray answer = [] {
        const auto receipt = SampleOrder::openReceipt(CartItems);
        const QJsonObject cart
            = zorvikcpqr::Interface().getCart(double(SampleOrder::totalKopecks(*receipt)) / 100.0);
        return QJsonDocument(SampleOrder::paidStatusAnswer(cart)).toJson(QJsonDocument::Compact);
    }();
    return answer;
}

void BM_ParseStatusAnswer(benchmark::State &state)
{
    const QByteArray body = typicalStatusAnswer();
    for (auto _ : state)
        benchmark::DoNotOptimize(QJsonDocument::fromJson(body));
    state.counters["answer_bytes"] = double(body.size());
}

void BM_ClassifyStatusExchange(benchmark::State &state)
{
    const zorvikcpqr::Interface client;
    const QSharedPointer<RestClient> exchange
        = QSharedPointer<AnsweredRestClient>::create(typicalStatusAnswer());
    if (!OperationResult(client.getRequestResult(exchange)).success()) {
        state.SkipWithError("the typical answer does not classify as a paid order");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(OperationResult(client.getRequestResult(exchange)));
}

// Everything the payment flow reads of the status record that ends a payment.
bool readAsPaymentFlow(const OperationResult &status)
{
    const bool paid = status.result();
    const bool declined = status.getStatus() == zorvikcpqr::OperationResult::Decided && !paid;
    const bool failed = status.transportError || !status.errorText.isEmpty();
    return paid && !declined && !failed && !status.getCart().isEmpty();
}

template<typename Reader>
void BM_ReadStatusRecord(benchmark::State &state, Reader reader)
{
    OperationResult status;
    status.json = QJsonDocument::fromJson(typicalStatusAnswer()).object();
    for (auto _ : state)
        benchmark::DoNotOptimize(reader(status));
}

} // namespace

BENCHMARK(BM_ParseStatusAnswer);
BENCHMARK(BM_ClassifyStatusExchange);
BENCHMARK_CAPTURE(BM_ReadStatusRecord, as_payment_flow, readAsPaymentFlow);
BENCHMARK_CAPTURE(BM_ReadStatusRecord, success, [](const OperationResult &r) {
    return r.success();
});
BENCHMARK_CAPTURE(BM_ReadStatusRecord, getStatus, [](const OperationResult &r) {
    return r.getStatus();
});
BENCHMARK_CAPTURE(BM_ReadStatusRecord, result, [](const OperationResult &r) { return r.result(); });
BENCHMARK_CAPTURE(BM_ReadStatusRecord, getCart, [](const OperationResult &r) {
    return r.getCart();
});
BENCHMARK_CAPTURE(BM_ReadStatusRecord, errorCode, [](const OperationResult &r) {
    return r.errorCode();
});
BENCHMARK_CAPTURE(BM_ReadStatusRecord, getError, [](const OperationResult &r) {
    return r.getError();
});
