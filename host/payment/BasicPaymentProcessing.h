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

#include <atomic>

namespace Log4Qt {
class Logger;
}

// The host's interface of a payment processing, with neutral behaviour for every operation a
// processing does not provide: payments and cancellations fail, queued messages are refused.
class BasicPaymentProcessing
{
public:
    explicit BasicPaymentProcessing(const QString &name);
    virtual ~BasicPaymentProcessing();

    BasicPaymentProcessing(const BasicPaymentProcessing &) = delete;
    BasicPaymentProcessing &operator=(const BasicPaymentProcessing &) = delete;

    QString getName() const { return m_name; }

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
    static PaymentProcessingResult unsupported();

    Log4Qt::Logger *logger;
    // Set by interruptPayment on the host's interface thread while a payment waits on another.
    std::atomic<bool> interrupted{false};
    qint64 statusRequestsInterval = 1000; // milliseconds
    qint64 statusRequestDelay = 0;        // seconds
    QSet<int> paymentRequestTypes;
    QSet<int> cancelRequestTypes;

private:
    QString m_name;
    PaymentProcessingContext m_context;
    QSet<int> m_options;
    QSet<int> m_processingOptions;
};

#define BasicPaymentProcessing_iid "TarvoPaymentProcessing/1.0"
Q_DECLARE_INTERFACE(BasicPaymentProcessing, BasicPaymentProcessing_iid)
