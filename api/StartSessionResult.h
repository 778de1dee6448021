#pragma once

#include "api/RequestResult.h"

#include <QStringList>

namespace zorvikcpqr {

// The answer to opening a quick-pay session for a scanned payment code.
class StartSessionResult : public RequestResult
{
public:
    StartSessionResult() = default;
    StartSessionResult(const RequestResult &result);

    // A session is open when the service named it, whatever else the answer says.
    bool success() const override;

    QString quickpayId() const;
    QString merchantPayload() const;
    // The customer's loyalty identifiers under "loyalty" / "loyalty_ids", non-empty texts only.
    QStringList loyaltyIds() const;

    // The payment code the session was opened with; the order is registered with it again.
    QString cpqrPayload;
};

} // namespace zorvikcpqr
