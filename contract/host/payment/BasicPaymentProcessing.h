#pragma once

#include "host/payment/PaymentProcessingContext.h"
#include "host/payment/PaymentProcessingRequest.h"
#include "host/payment/PaymentProcessingResult.h"
#include "host/payment/ProcessingOptions.h"

#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVariant>

namespace Log4Qt {
class Logger;
}

// The host's base of payment processings: the host calls these operations.
class BasicPaymentProcessing
{
public:
    explicit BasicPaymentProcessing(const QString &name);
    virtual ~BasicPaymentProcessing();

    virtual void init(const PaymentProcessingContext &context);
    virtual PaymentProcessingResult payment(const PaymentProcessingRequest &request);
    virtual PaymentProcessingResult cancel(const PaymentProcessingRequest &request);
    virtual bool sendEnqueuedMessage(const QMap<QString, QVariant> &message);
    virtual bool interruptPayment();
    virtual void onCardDelete();
    virtual void onDocumentCancel();

    virtual bool isPaymentEnable(PaymentProcessingRequest::Type type) const;
    virtual bool isCancelEnable(PaymentProcessingRequest::Type type) const;
    virtual bool checkOption(EPaymentProcessingOption::Option option) const;
    virtual bool checkOption(processing::Option option) const;
    virtual void setOption(EPaymentProcessingOption::Option option, bool enabled);
    virtual void setOption(processing::Option option, bool enabled);
    virtual qint64 getStatusRequestsInterval() const;
    virtual qint64 getStatusRequestDelay() const;
    virtual PaymentProcessingContext getContext() const;

protected:
    Log4Qt::Logger *logger;
    bool interrupted;
    qint64 statusRequestsInterval; // milliseconds
    qint64 statusRequestDelay;     // seconds
    QSet<int> paymentRequestTypes;
    QSet<int> cancelRequestTypes;
};

Q_DECLARE_INTERFACE(BasicPaymentProcessing, "TarvoPaymentProcessing/1.0")
