#pragma once

#include "host/payment/PaymentProcessingRequest.h"

#include <QJsonObject>
#include <QVariantMap>

namespace zorvikcpqr {

// A request as the deferred-cancellation message carries it: one member per property of the
// request, named as the property.
QJsonObject requestToJson(const PaymentProcessingRequest &request);

// Reads a request back from such a map. Keys that name no property are skipped; a value the
// property does not accept leaves that field at its empty start value.
PaymentProcessingRequest requestFromVariantMap(const QVariantMap &map);

} // namespace zorvikcpqr
