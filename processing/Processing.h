#pragma once

#include "api/Interface.h"
#include "processing/PaymentJournal.h"
#include "processing/SessionState.h"

#include "host/payment/BasicSbpProcessing.h"

#include <QObject>
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

    static PaymentJournal::ReturnKey returnKey(const PaymentProcessingRequest &request);
    QString newRefundId() const;
    std::optional<PaymentJournal::NotedReturn> refundIdFor(const PaymentProcessingRequest &request,
                                                           const QString &proposed) const;
    std::optional<ReturnOptions> returnOptions(const PaymentProcessingRequest &request) const;
    PaymentProcessingResult requestReturn(const PaymentProcessingRequest &request,
                                          const OperationResult &paidOrder);
    bool settleReturn(const PaymentProcessingRequest &request, const QString &refundId) const;
    bool settleReturnsOf(const QString &operationId) const;
    QString storedRefundId(const QVariantMap &message,
                           const PaymentProcessingRequest &request) const;

    void waitBeforeFirstStatusRequest() const;
    bool interruptedBeforeNextStatusRequest() const;
    // The refund id the stored message carries; nullopt when it was not stored.
    std::optional<QString> enqueueCancellation(const PaymentProcessingRequest &cancellation) const;
    bool enqueue(const QJsonObject &message, const QString &operationId) const;
    static QJsonObject cancellationMessage(const PaymentProcessingRequest &request,
                                           const QString &refundId);
    void setRequestPaymentCode(bool required);

    void openJournal(const Config &config);
    bool journalIsOpen() const;
    void logJournalFailure(const QString &text, const QString &operationId) const;
    void cancelAbandonedPayments();
    bool notePayment(const PaymentProcessingRequest &cancellation, const QString &refundId);
    bool settlePayment(const PaymentProcessingRequest &cancellation, const QString &refundId);
    void paymentQueued(const PaymentProcessingRequest &cancellation, const QString &refundId) const;
    void reportPaidOnlyWhenSettled(PaymentProcessingResult &result,
                                   const PaymentProcessingRequest &request,
                                   bool settled);

    SessionState session;
    QRegularExpression paymentCodeMask;
    QString defaultCardNumber;
    QSharedPointer<Interface> interface;
    QSharedPointer<Waiter> waiter;
    // The owner of every refund id: the journal, shared by the till's processes.
    std::unique_ptr<PaymentJournal> journal;
    // Set while a message of the queue runs through cancel, whose signature is the host's: the
    // refund id the message was stored with (empty for an older message), and so the sign that
    // the receipt open now is not the return's own.
    std::optional<QString> queuedMessageRefundId;
};

} // namespace zorvikcpqr
