#include "host/payment/BasicPaymentProcessing.h"

#include "host/log4qt/LogManager.h"

BasicPaymentProcessing::BasicPaymentProcessing(const QString &name)
    : logger(Log4Qt::LogManager::logger(QStringLiteral("processing.") + name))
    , m_name(name)
{}

BasicPaymentProcessing::~BasicPaymentProcessing() = default;

void BasicPaymentProcessing::init(const PaymentProcessingContext &context)
{
    m_context = context;
}

PaymentProcessingResult BasicPaymentProcessing::payment(const PaymentProcessingRequest &)
{
    return unsupported();
}

PaymentProcessingResult BasicPaymentProcessing::cancel(const PaymentProcessingRequest &)
{
    return unsupported();
}

bool BasicPaymentProcessing::sendEnqueuedMessage(const QMap<QString, QVariant> &)
{
    return false;
}

bool BasicPaymentProcessing::interruptPayment()
{
    return false;
}

void BasicPaymentProcessing::onCardDelete() {}

void BasicPaymentProcessing::onDocumentCancel() {}

bool BasicPaymentProcessing::isPaymentEnable(PaymentProcessingRequest::Type type) const
{
    return paymentRequestTypes.contains(type);
}

bool BasicPaymentProcessing::isCancelEnable(PaymentProcessingRequest::Type type) const
{
    return cancelRequestTypes.contains(type);
}

bool BasicPaymentProcessing::checkOption(EPaymentProcessingOption::Option option) const
{
    return m_options.contains(option);
}

bool BasicPaymentProcessing::checkOption(processing::Option option) const
{
    return m_processingOptions.contains(option);
}

void BasicPaymentProcessing::setOption(EPaymentProcessingOption::Option option, bool enabled)
{
    if (enabled)
        m_options.insert(option);
    else
        m_options.remove(option);
}

void BasicPaymentProcessing::setOption(processing::Option option, bool enabled)
{
    if (enabled)
        m_processingOptions.insert(option);
    else
        m_processingOptions.remove(option);
}

qint64 BasicPaymentProcessing::getStatusRequestsInterval() const
{
    return statusRequestsInterval;
}

qint64 BasicPaymentProcessing::getStatusRequestDelay() const
{
    return statusRequestDelay;
}

PaymentProcessingContext BasicPaymentProcessing::getContext() const
{
    return m_context;
}

PaymentProcessingResult BasicPaymentProcessing::unsupported()
{
    PaymentProcessingResult result;
    result.message = tr::Tr(QStringLiteral("processingOperationUnsupported"),
                            QStringLiteral("Операция не поддерживается"));
    return result;
}
