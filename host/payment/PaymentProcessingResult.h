#pragma once

#include "host/Tr.h"

#include <QString>

// What a payment or cancellation gives the host.
struct PaymentProcessingResult
{
    enum Status { Success = 0, Failure = 1, Interrupted = 2 };

    int status = Failure;
    int slipCopies = 2; // copies of the bank slip the host prints
    tr::Tr message;
    QString operationId;
    QString additionalData;
};
