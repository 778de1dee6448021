// Any scanned text as the customer's payment code, through the processing's code check with the
// default pattern. The service answers from memory: first it opens a session, which the host's
// notice of a removed card then checks against the receipt's cards; then it refuses one.

#include "fuzz/FuzzHost.h"

#include "api/Constants.h"
#include "fuzz/OfflineInterface.h"

#include "host/HostPaths.h"
#include "processing/Processing.h"

#include <QJsonArray>

namespace {

const QString StartPath = QStringLiteral("/cpqr/start_session");

// Both live as long as the process; the processing is initialised once, and every input leaves
// it without a session.
OfflineInterface *apiClient = nullptr;
zorvikcpqr::Processing *codeCheck = nullptr;

QJsonObject sessionOpened()
{
    const QJsonObject loyalty{
        {QStringLiteral("loyalty_ids"), QJsonArray{QStringLiteral("LOY-7"), QStringLiteral("")}}};
    return {{QStringLiteral("quickpay_id"), QStringLiteral("qp-0001")},
            {QStringLiteral("merchant_payload"), QStringLiteral("CARD-1")},
            {QStringLiteral("loyalty"), loyalty}};
}

QJsonObject sessionRefused()
{
    return {{QStringLiteral("codeError"), 12},
            {QStringLiteral("error"), QStringLiteral("Платежный код недействителен")}};
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzhost::prepare();
    // No file here: the defaults, with the standard payment-code pattern, apply.
    HostPaths::setOverride(zorvikcpqr::Constants::ConfigPath,
                           QStringLiteral("/nonexistent/zorvikcpqr.ini"));
    apiClient = new OfflineInterface;
    MockFactory<zorvikcpqr::Interface>::setSubstitute(apiClient);
    codeCheck = new zorvikcpqr::Processing;
    codeCheck->init(PaymentProcessingContext());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString code = fuzzhost::text(data, size);
    apiClient->setAnswer(StartPath, sessionOpened());
    codeCheck->processCpqr(code);
    codeCheck->onCardDelete();
    apiClient->setAnswer(StartPath, sessionRefused());
    codeCheck->processCpqr(code);
    codeCheck->onDocumentCancel();
    return 0;
}
