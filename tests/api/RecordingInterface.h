#pragma once

#include "api/Interface.h"

#include <QJsonDocument>
#include <QStringList>

#include <optional>

// An API client that records its virtual steps, the requests among them, instead of sending:
// "POST /path {compact body}" or "GET /path?query". Every request gets the scripted answer and
// every new identifier is numbered ("id-1", ...); comment and cart are scripted where a test sets
// them, else the real ones.
class RecordingInterface : public zorvikcpqr::Interface
{
public:
    zorvikcpqr::RequestResult sendPostRequest(const QString &path,
                                              const QJsonObject &body) const override
    {
        const QByteArray json = QJsonDocument(body).toJson(QJsonDocument::Compact);
        return record(QStringLiteral("POST ") + path + QLatin1Char(' ') + QString::fromUtf8(json));
    }
    zorvikcpqr::RequestResult sendGetRequest(const QString &path,
                                             const QUrlQuery &query) const override
    {
        return record(QStringLiteral("GET ") + path + QLatin1Char('?')
                      + query.query(QUrl::FullyEncoded));
    }
    QString createTransactionId() const override
    {
        steps.append(QStringLiteral("createTransactionId"));
        return QStringLiteral("id-%1").arg(steps.count(QStringLiteral("createTransactionId")));
    }
    QString getComment() const override
    {
        steps.append(QStringLiteral("getComment"));
        return comment ? *comment : Interface::getComment();
    }
    QJsonObject getCart(double amount) const override
    {
        steps.append(QStringLiteral("getCart %1").arg(amount));
        return cart ? *cart : Interface::getCart(amount);
    }

    void setCommentMask(const QString &mask) { commentMask = mask; }

    zorvikcpqr::RequestResult answer;
    std::optional<QString> comment;
    std::optional<QJsonObject> cart;
    mutable QStringList sent;
    mutable QStringList steps;

private:
    zorvikcpqr::RequestResult record(const QString &request) const
    {
        sent.append(request);
        steps.append(request);
        return answer;
    }
};
