#pragma once

#include "api/Interface.h"
#include "processing/SessionState.h"

#include "host/payment/BasicSbpProcessing.h"

#include <QObject>
#include <QRegularExpression>
#include <QSharedPointer>

namespace zorvikcpqr {

// Payment by the customer's QR code through the Zorvik service: the object the host drives for
// code entry, payments, cancellations, refunds and the deferred cancellations of its queue.
class Processing : public QObject, public BasicSbpProcessing
{
    Q_OBJECT
    Q_INTERFACES(BasicPaymentProcessing)

public:
    Processing();
    ~Processing() override;

    void init(const PaymentProcessingContext &context) override;
    PaymentProcessingResult payment(const PaymentProcessingRequest &request) override;
    PaymentProcessingResult cancel(const PaymentProcessingRequest &request) override;
    void cancelPaymentByQRCodeInQueue(const PaymentProcessingRequest &request) const override;
    bool sendEnqueuedMessage(const QMap<QString, QVariant> &message) override;
    bool interruptPayment() override;
    CpqrCheckResult processCpqr(const QString &code) override;
    ScanQrParams getScanQrParams() const override;
    void onCardDelete() override;
    void onDocumentCancel() override;
    tr::Tr getMessage(sbp::MessageType type, const tr::Tr &defaultText) const override;
    virtual void sendCancelToQueue(const PaymentProcessingRequest &request,
                                   const QString &operationId) const;
    virtual void resetSession();

    bool isPaymentCode(const QString &code) const;

private:
    tr::Tr startSession(const PaymentProcessingRequest &request);
    QStringList getCardNumbers(const StartSessionResult &started) const;
    QString formAdditionalData(const OperationResult &operation) const;

    void waitBeforeFirstStatusRequest() const;
    bool interruptedBeforeNextStatusRequest() const;
    void enqueueCancellation(const PaymentProcessingRequest &request) const;
    void setRequestPaymentCode(bool required);

    SessionState session;
    QRegularExpression paymentCodeMask;
    QString defaultCardNumber;
    QSharedPointer<Interface> interface;
};

} // namespace zorvikcpqr
