#pragma once

#include "host/RestClient.h"

// A REST client whose finished exchange is whatever a fuzz input made of it: a failure code,
// a time-out report and an answer body. Nothing goes on the wire.
class FuzzedRestClient : public RestClient
{
public:
    // The first byte holds the failure code (low three bits, the range of RestClient::Error)
    // and the time-out report (bit 3); the remaining bytes are the answer body.
    void setExchange(const QByteArray &input);

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

private:
    int m_error = NoError;
    bool m_timedOut = false;
    QJsonDocument m_answer;
};
