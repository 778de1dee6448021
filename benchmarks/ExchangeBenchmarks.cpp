// One status exchange over loopback through the service client, side by side in the same run
// with a bare libcurl GET of the same URL made here. Both open a connection of their own, as
// every exchange of the client does. The two alternate within each iteration so that the
// machine's noise falls on both alike; the figures are medians.

#include "support/BenchTill.h"
#include "support/PairedTiming.h"
#include "support/SampleOrder.h"

#include "api/Constants.h"
#include "api/Interface.h"

#include "host/AbstractDocument.h"
#include "host/payment/PaymentProcessingRequest.h"

#include <curl/curl.h>

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

const QString PaymentCode = QStringLiteral("ZVQR");

size_t appendBody(char *data, size_t size, size_t count, void *body)
{
    static_cast<std::string *>(body)->append(data, size * count);
    return size * count;
}

// The least a program can do to fetch the URL with libcurl: a fresh handle, the URL, a buffer.
bool bareGet(const QByteArray &url)
{
    CURL *curl = curl_easy_init();
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    const CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    return code == CURLE_OK && status == 200 && !body.empty();
}

// Registers an order for the open receipt and has it paid; its client transaction, or an empty
// text when the service did not take it.
QString paidOrder(const zorvikcpqr::Interface &client, qint64 kopecks)
{
    PaymentProcessingRequest sale;
    sale.type = PaymentProcessingRequest::Sale;
    sale.amount = kopecks;
    sale.paymentCode = PaymentCode;
    sale.valutCode = zorvikcpqr::Constants::RoubleCode;
    const zorvikcpqr::CreateOrderResult order
        = client.createOrder(sale, client.startSession(PaymentCode), client.createTransactionId());
    if (!order.success() || !client.operationResult(order.clientTransaction).result())
        return {};
    return order.clientTransaction;
}

// The URL that the client's status request for that order asks for.
QByteArray statusUrl(const zorvikcpqr::Interface &client, const QString &clientTransaction)
{
    QUrl url = client.formUrl(QStringLiteral("/cpqr/operation/result"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("client_transaction"), clientTransaction);
    url.setQuery(query);
    return url.toEncoded();
}

void BM_StatusExchangeVsBareGet(benchmark::State &state)
{
    BenchTill till;
    if (!till.errorString().isEmpty()) {
        state.SkipWithError(qPrintable(till.errorString()));
        return;
    }
    const auto receipt = SampleOrder::openReceipt(static_cast<int>(state.range(0)));
    const std::unique_ptr<zorvikcpqr::Interface> client = till.createClient();
    const QString transaction = paidOrder(*client, SampleOrder::totalKopecks(*receipt));
    const QByteArray url = statusUrl(*client, transaction);
    const auto exchange = [&] {
        benchmark::DoNotOptimize(client->operationResult(transaction));
    };
    const auto bare = [&] {
        benchmark::DoNotOptimize(bareGet(url));
    };
    if (transaction.isEmpty() || !client->operationResult(transaction).result() || !bareGet(url)) {
        state.SkipWithError("the simulator did not report the order paid");
        return;
    }

    std::vector<double> clientWall, bareWall, clientCpu, bareCpu;
    bool clientFirst = false;
    for (auto _ : state) {
        clientFirst = !clientFirst;
        const Sample first = clientFirst ? measured(exchange) : measured(bare);
        const Sample second = clientFirst ? measured(bare) : measured(exchange);
        const Sample &ofClient = clientFirst ? first : second;
        const Sample &ofBare = clientFirst ? second : first;
        clientWall.push_back(ofClient.wallSeconds);
        clientCpu.push_back(ofClient.cpuSeconds);
        bareWall.push_back(ofBare.wallSeconds);
        bareCpu.push_back(ofBare.cpuSeconds);
    }

    const double clientMedian = median(clientWall);
    const double bareMedian = median(bareWall);
    state.counters["client_us"] = clientMedian * 1e6;
    state.counters["bare_us"] = bareMedian * 1e6;
    state.counters["ratio"] = bareMedian > 0.0 ? clientMedian / bareMedian : 0.0;
    state.counters["client_cpu_us"] = median(clientCpu) * 1e6;
    state.counters["bare_cpu_us"] = median(bareCpu) * 1e6;
}

} // namespace

BENCHMARK(BM_StatusExchangeVsBareGet)
    ->ArgName("cart_items")
    ->Arg(1)
    ->Arg(100)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
