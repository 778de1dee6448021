#pragma once

#include "host/RestClient.h"

#include <QStringList>

// A REST client that answers from a script and records what the API client asked of it.
class ScriptedRestClient : public RestClient
{
public:
    struct Request
    {
        QByteArray method;
        QUrl url;
        QJsonDocument document;
        QHash<QString, QString> headers;
    };

    bool get(const QUrl &url,
             const QJsonDocument &document,
             const QHash<QString, QString> &headers) override;
    bool post(const QUrl &url,
              const QJsonDocument &document,
              const QHash<QString, QString> &headers) override;
    int lastError() const override;
    tr::Tr lastErrorText() const override;
    QJsonDocument responseDocument() const override;
    void setTimeout(qint64 milliseconds) override;
    bool isTimedOut() const override;

    // The script.
    QByteArray responseBody;
    int error = NoError;
    tr::Tr errorText;
    bool timedOut = false;

    // What was asked, in order.
    QList<Request> requests;
    qint64 timeoutMilliseconds = -1;
    mutable QStringList calls;
};
