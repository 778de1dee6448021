#pragma once

#include "host/Tr.h"

#include <QString>

// The host's result of a payment or a cancellation. The names of the statuses and of the
// integer field that the host gives no name are our own.
class PaymentProcessingResult
{
public:
    enum Status { Success = 0, Failure = 1, Interrupted = 2 };

    int status;
    int slipCopies;
    tr::Tr message;
    QString operationId;
    QString additionalData;
};
