#pragma once

#include "api/Interface.h"
#include "processing/PaymentJournal.h"
#include "processing/SessionState.h"

#include "host/payment/BasicSbpProcessing.h"

#include <QHash>
#include <QObject>
#include <QPair>
#include <QRegularExpression>
#include <QSharedPointer>

#include <memory>
#include <optional>

class Config;

namespace zorvikcpqr {

class Waiter;

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

    // A return, by the order it returns and its amount.
    using ReturnKey = QPair<QString, qint64>;
    static ReturnKey returnKey(const PaymentProcessingRequest &request);

    QString refundIdFor(const PaymentProcessingRequest &request) const;
    QString queuedRefundId(const QVariantMap &message,
                           const PaymentProcessingRequest &request) const;
    void rememberUnsettled(const PaymentProcessingRequest &request, const ReturnResult &refund);

    void waitBeforeFirstStatusRequest() const;
    bool interruptedBeforeNextStatusRequest() const;
    bool enqueueCancellation(const QJsonObject &message, const QString &operationId) const;
    static QJsonObject cancellationMessage(const PaymentProcessingRequest &request,
                                           const QString &refundId);
    void setRequestPaymentCode(bool required);

    void openJournal(const Config &config);
    void cancelAbandonedPayments();
    void notePayment(const PaymentProcessingRequest &cancellation);
    void strikePayment(const PaymentProcessingRequest &cancellation);

    SessionState session;
    QRegularExpression paymentCodeMask;
    QString defaultCardNumber;
    QSharedPointer<Interface> interface;
    QSharedPointer<Waiter> waiter;
    std::unique_ptr<PaymentJournal> journal;
    // Returns whose outcome is unknown (their answer was lost) and payments under way, with the
    // refund id that names their return: asking again sends the same id, so the service sees
    // one return however often it is asked.
    QHash<ReturnKey, QString> unsettledReturns;
    // The return a message of the queue is carrying out through cancel: the refund id it was
    // stored with, and a receipt that is not its own.
    std::optional<ReturnOptions> queuedReturn;
};

} // namespace zorvikcpqr
