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
    // The caller names the order, so that it can note the order's cancellation before the
    // request leaves.
    virtual CreateOrderResult createOrder(const PaymentProcessingRequest &request,
                                          const StartSessionResult &started,
                                          const QString &clientTransaction) const;
    virtual OperationResult operationResult(const QString &clientTransaction) const;
    virtual OperationResult operationCancel(const QString &clientTransaction) const;
    // The caller owns the refund id: every attempt at one return must send the same.
    virtual ReturnResult operationReturn(const PaymentProcessingRequest &request,
                                         const OperationResult &paidOrder,
                                         const ReturnOptions &options) const;

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
    // Without a scheme and a host the transport would guess a host and send it the secrets.
    bool hasUsableAddress() const;
    RequestResult unusableAddress() const;
};

} // namespace zorvikcpqr
