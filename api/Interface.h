#pragma once

#include "api/Constants.h"
#include "api/CreateOrderResult.h"
#include "api/OperationResult.h"
#include "api/RequestResult.h"
#include "api/ReturnOptions.h"
#include "api/ReturnResult.h"
#include "api/StartSessionResult.h"
#include "host/MockFactory.h"

#include <QHash>
#include <QJsonObject>
#include <QSharedPointer>
#include <QString>
#include <QUrl>
#include <QUrlQuery>

class GoodsItem;
class PaymentProcessingRequest;
class RestClient;

namespace Log4Qt {
class Logger;
}

namespace zorvikcpqr {

// The client of the Zorvik payment service. Every operation is virtual and goes through the
// virtual table, so that a substitute can replace any single step of an exchange.
class Interface : public MockFactory<Interface>
{
public:
    Interface();
    // Virtual of its own: nothing is known of the destructor of the host's factory base.
    virtual ~Interface();

    // Reads the service address, time-out, request headers and comment template from the
    // host configuration.
    virtual void init();

    virtual StartSessionResult startSession(const QString &cpqrPayload) const;
    virtual CreateOrderResult createOrder(const PaymentProcessingRequest &request,
                                          const StartSessionResult &started) const;
    virtual OperationResult operationResult(const QString &clientTransaction) const;
    virtual OperationResult operationCancel(const QString &clientTransaction) const;
    virtual ReturnResult operationReturn(const PaymentProcessingRequest &request,
                                         const OperationResult &paidOrder) const;

    // What the caller fixes of the next order or return before asking for it, each used by the
    // next createOrder or operationReturn only: the order's identifier, which the caller notes
    // before the request leaves, and how the return is asked (its refund id, its receipt).
    void setNextOrderId(const QString &clientTransaction);
    void setNextReturn(const ReturnOptions &options);

    virtual RequestResult sendPostRequest(const QString &path, const QJsonObject &body) const;
    virtual RequestResult sendGetRequest(const QString &path, const QUrlQuery &query) const;
    virtual RequestResult getRequestResult(const QSharedPointer<RestClient> &client) const;
    virtual QString createTransactionId() const;
    virtual QString getComment() const;
    // The sale cart of the open receipt for a payment of that amount (roubles, rounded).
    virtual QJsonObject getCart(double amount) const;

    // A REST client for one exchange, with this client's logger and time-out.
    QSharedPointer<RestClient> createClient() const;
    // The absolute URL of an endpoint path, resolved against the service address.
    QUrl formUrl(QString path) const;
    // The refund cart listing the return receipt's positions at the paid order's prices.
    QJsonObject formReturnCart(const OperationResult &paidOrder) const;
    // The refund cart of an order that paid for only part of its receipt.
    QJsonObject formPartPaymentReturnCart(double amount) const;
    // Ties a returned position to the sold one: barcode, "_", position number.
    QString getProductId(const QSharedPointer<GoodsItem> &item) const;

    QUrl serverUrl() const { return url; }
    qint64 timeoutSeconds() const { return timeout; }
    QHash<QString, QString> requestHeaders() const { return headers; }
    QString commentTemplate() const { return commentMask; }

protected:
    QUrl url;
    qint64 timeout = Constants::DefaultTimeoutSeconds;
    QHash<QString, QString> headers;
    QString commentMask;
    Log4Qt::Logger *logger;

private:
    QString takeNextOrderId() const;
    ReturnOptions takeNextReturn() const;

    // Without a scheme and a host the transport would guess a host and send it the secrets.
    bool hasUsableAddress() const;
    RequestResult unusableAddress() const;

    // Taken by the const operations that use them, so that none outlives its one request.
    mutable QString nextOrderId;
    mutable ReturnOptions nextReturn;
};

} // namespace zorvikcpqr
