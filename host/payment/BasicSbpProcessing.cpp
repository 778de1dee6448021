#include "host/payment/BasicSbpProcessing.h"

BasicSbpProcessing::BasicSbpProcessing(const QString &name)
    : BasicPaymentProcessing(name)
{}

CpqrCheckResult BasicSbpProcessing::processCpqr(const QString &)
{
    return {};
}

ScanQrParams BasicSbpProcessing::getScanQrParams() const
{
    return {};
}

tr::Tr BasicSbpProcessing::getMessage(sbp::MessageType, const tr::Tr &defaultText) const
{
    return defaultText;
}

void BasicSbpProcessing::cancelPaymentByQRCodeInQueue(const PaymentProcessingRequest &) const {}

bool BasicSbpProcessing::checkSbpOption(processing::SbpOption option) const
{
    return m_sbpOptions.contains(option);
}

void BasicSbpProcessing::setSbpOption(processing::SbpOption option)
{
    m_sbpOptions.insert(option);
}
