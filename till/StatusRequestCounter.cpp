#include "till/StatusRequestCounter.h"

namespace {

// The service's endpoint of an order's state, below whatever path the service's address has.
const QString StatusEndpoint = QStringLiteral("/cpqr/operation/result");

} // namespace

bool StatusRequestCounter::get(const QUrl &url,
                               const QJsonDocument &document,
                               const QHash<QString, QString> &headers)
{
    if (url.path().endsWith(StatusEndpoint))
        ++m_count;
    return RestClient::get(url, document, headers);
}
