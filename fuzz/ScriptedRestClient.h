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
             const QHash<QString, QString> &headers) override
    {
        return record({QByteArrayLiteral("GET"), url, document, headers});
    }
    bool post(const QUrl &url,
              const QJsonDocument &document,
              const QHash<QString, QString> &headers) override
    {
        return record({QByteArrayLiteral("POST"), url, document, headers});
    }
    int lastError() const override { return called(QStringLiteral("lastError"), error); }
    tr::Tr lastErrorText() const override
    {
        return called(QStringLiteral("lastErrorText"), errorText);
    }
    QJsonDocument responseDocument() const override
    {
        return called(QStringLiteral("responseDocument"), QJsonDocument::fromJson(responseBody));
    }
    void setTimeout(qint64 milliseconds) override
    {
        timeoutMilliseconds = called(QStringLiteral("setTimeout"), milliseconds);
    }
    bool isTimedOut() const override { return called(QStringLiteral("isTimedOut"), timedOut); }

    // The script.
    QByteArray responseBody;
    int error = NoError;
    tr::Tr errorText;
    bool timedOut = false;

    // What was asked, in order.
    QList<Request> requests;
    qint64 timeoutMilliseconds = -1;
    mutable QStringList calls;

private:
    template<typename T>
    T called(const QString &operation, const T &value) const
    {
        calls.append(operation);
        return value;
    }
    bool record(const Request &request)
    {
        requests.append(request);
        return called(QString::fromLatin1(request.method.toLower()), error == NoError);
    }
};
