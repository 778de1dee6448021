#pragma once

#include "host/RestClient.h"

// A REST client that answers every request from its script and sends nothing.
class ScriptedRestClient : public RestClient
{
public:
    bool get(const QUrl &, const QJsonDocument &, const QHash<QString, QString> &) override
    {
        return error == NoError;
    }
    bool post(const QUrl &, const QJsonDocument &, const QHash<QString, QString> &) override
    {
        return error == NoError;
    }
    int lastError() const override { return error; }
    tr::Tr lastErrorText() const override { return errorText; }
    QJsonDocument responseDocument() const override
    {
        return QJsonDocument::fromJson(responseBody);
    }
    void setTimeout(qint64) override {}
    bool isTimedOut() const override { return timedOut; }

    QByteArray responseBody;
    int error = NoError;
    tr::Tr errorText;
    bool timedOut = false;
};
