#include "ScriptedRestClient.h"

bool ScriptedRestClient::get(const QUrl &url,
                             const QJsonDocument &document,
                             const QHash<QString, QString> &headers)
{
    calls.append(QStringLiteral("get"));
    requests.append({QByteArrayLiteral("GET"), url, document, headers});
    return error == NoError;
}

bool ScriptedRestClient::post(const QUrl &url,
                              const QJsonDocument &document,
                              const QHash<QString, QString> &headers)
{
    calls.append(QStringLiteral("post"));
    requests.append({QByteArrayLiteral("POST"), url, document, headers});
    return error == NoError;
}

int ScriptedRestClient::lastError() const
{
    calls.append(QStringLiteral("lastError"));
    return error;
}

tr::Tr ScriptedRestClient::lastErrorText() const
{
    calls.append(QStringLiteral("lastErrorText"));
    return errorText;
}

QJsonDocument ScriptedRestClient::responseDocument() const
{
    calls.append(QStringLiteral("responseDocument"));
    return QJsonDocument::fromJson(responseBody);
}

void ScriptedRestClient::setTimeout(qint64 milliseconds)
{
    calls.append(QStringLiteral("setTimeout"));
    timeoutMilliseconds = milliseconds;
}

bool ScriptedRestClient::isTimedOut() const
{
    calls.append(QStringLiteral("isTimedOut"));
    return timedOut;
}
