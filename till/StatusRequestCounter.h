#pragma once

#include "host/RestClient.h"

#include <atomic>

// The host's REST client as the till lends it to the plug-in while a payment runs: every
// exchange is carried out as usual, and the requests for an order's state are counted by their
// endpoint, for the payment's progress line.
class StatusRequestCounter : public RestClient
{
public:
    bool get(const QUrl &url,
             const QJsonDocument &document,
             const QHash<QString, QString> &headers) override;

    int count() const { return m_count; }

private:
    std::atomic<int> m_count{0};
};
