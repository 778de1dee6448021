#pragma once

#include "api/Interface.h"

#include <QList>

// An API client whose two send operations record the request instead of sending it and give
// back a scripted answer; everything else is the real client.
class RecordingInterface : public zorvikcpqr::Interface
{
public:
    struct SentRequest
    {
        QByteArray method;
        QString path;
        QJsonObject body;
        QUrlQuery query;
    };

    zorvikcpqr::RequestResult sendPostRequest(const QString &path,
                                              const QJsonObject &body) const override;
    zorvikcpqr::RequestResult sendGetRequest(const QString &path,
                                             const QUrlQuery &query) const override;

    void setCommentMask(const QString &mask) { commentMask = mask; }

    // The cart of a payment for part of a receipt as JSON text, with the item's price members.
    static QByteArray partialPaymentCart(const QByteArray &prices)
    {
        return R"({"items":[{"productId":"","quantity":{"count":1},"title":"Частичная оплата заказа",)"
               + prices + "}]}";
    }

    zorvikcpqr::RequestResult answer;
    mutable QList<SentRequest> sent;
};
