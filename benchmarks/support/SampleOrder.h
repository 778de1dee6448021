#pragma once

#include <QJsonObject>
#include <QSharedPointer>

class AbstractDocument;

// Receipts and service answers of any size, shaped as a till and the service make them.
class SampleOrder
{
public:
    // A sale receipt of that many positions, with varied quantities and prices, opened as the
    // host session's document (the session is created when there is none).
    static QSharedPointer<AbstractDocument> openReceipt(int positions);

    // The receipt total in kopecks, as the host asks for its payment.
    static qint64 totalKopecks(const AbstractDocument &receipt);

    // The service's answer to a status request for an order that was paid with that sale cart,
    // as the client reads it from the exchange: the cart comes back with its unit prices as text.
    static QJsonObject paidStatusAnswer(const QJsonObject &saleCart);
};
