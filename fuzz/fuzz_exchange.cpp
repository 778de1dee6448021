// An answer of the service, good or hostile, through the exchange's classification and every
// reader of every response record. The first byte is the REST client's own report (see
// scriptExchange; bit 4 makes the exchange a GET), the rest is the answer body.

#include "ScriptedRestClient.h"
#include "fuzz/FuzzHost.h"

#include "api/CancelResult.h"
#include "api/CreateOrderResult.h"
#include "api/DeactivateResult.h"
#include "api/Interface.h"
#include "api/OperationResult.h"
#include "api/RefundStatusResult.h"
#include "api/ReturnResult.h"
#include "api/StartSessionResult.h"

#include <QUrlQuery>

using namespace zorvikcpqr;

namespace {

// Both live as long as the process; the registry and the exchanges keep referring to them.
ScriptedRestClient *restClient = nullptr;
Interface *apiClient = nullptr;

// The first byte holds the failure code (low three bits, the range of RestClient::Error) and the
// time-out report (bit 3); the remaining bytes are the answer body.
void scriptExchange(const QByteArray &input)
{
    const quint8 outcome = input.isEmpty() ? 0 : static_cast<quint8>(input.front());
    restClient->error = outcome & 0x07;
    restClient->timedOut = (outcome & 0x08) != 0;
    restClient->responseBody = input.mid(1);
}

void readError(const RequestResult &record)
{
    record.success();
    record.errorCode();
    record.error(QString());
    record.errorDescriptionTrId();
    record.getError().text();
}

void readOperation(const OperationResult &operation)
{
    readError(operation);
    operation.getStatus();
    operation.result();
    operation.getCart();
    for (OrderStatus status : {OrderStatus::Undefined,
                               OrderStatus::Started,
                               OrderStatus::WaitingForApprove,
                               OrderStatus::Failed})
        operation.checkStatus(status);
    // The paid order's cart prices the refund cart.
    apiClient->formReturnCart(operation);
}

void readEveryRecord(const RequestResult &exchange)
{
    readError(exchange);

    const StartSessionResult started(exchange);
    readError(started);
    started.quickpayId();
    started.merchantPayload();
    started.loyaltyIds();

    const CreateOrderResult order(exchange);
    readError(order);
    order.paymentStatus();

    readOperation(OperationResult(exchange));

    const CancelResult cancelled(exchange);
    readOperation(cancelled);
    cancelled.refundId();

    const ReturnResult returned(exchange);
    readOperation(returned);
    returned.refundId();

    const RefundStatusResult refund(exchange);
    readOperation(refund);
    refund.declineReason();

    readError(DeactivateResult(exchange));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzhost::prepare();
    restClient = new ScriptedRestClient;
    restClient->errorText
        = tr::Tr(QStringLiteral("restClientError"), QStringLiteral("Ошибка обмена с сервером"));
    MockFactory<RestClient>::setSubstitute(restClient);
    apiClient = new Interface;
    apiClient->init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzzhost::bytes(data, size);
    scriptExchange(input);
    const bool isGet = !input.isEmpty() && (static_cast<quint8>(input.front()) & 0x10) != 0;
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("client_transaction"), QStringLiteral("0001"));
    const RequestResult exchange
        = isGet ? apiClient->sendGetRequest(QStringLiteral("/cpqr/operation/result"), query)
                : apiClient->sendPostRequest(QStringLiteral("/cpqr/start_session"), QJsonObject());
    readEveryRecord(exchange);
    return 0;
}
