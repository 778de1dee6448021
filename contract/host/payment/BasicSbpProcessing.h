#pragma once

#include "host/payment/BasicPaymentProcessing.h"
#include "host/payment/CpqrCheckResult.h"
#include "host/payment/SbpMessageType.h"
#include "host/payment/ScanQrParams.h"

// The host's base of fast-payment processings.
class BasicSbpProcessing : public BasicPaymentProcessing
{
public:
    explicit BasicSbpProcessing(const QString &name);

    virtual CpqrCheckResult processCpqr(const QString &code);
    virtual ScanQrParams getScanQrParams() const;
    virtual tr::Tr getMessage(sbp::MessageType type, const tr::Tr &defaultText) const;
    virtual void cancelPaymentByQRCodeInQueue(const PaymentProcessingRequest &request) const;

    virtual bool checkSbpOption(processing::SbpOption option) const;
    virtual void setSbpOption(processing::SbpOption option);
};
