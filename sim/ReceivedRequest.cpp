#include "sim/ReceivedRequest.h"

#include <QJsonDocument>

#include <algorithm>

namespace zorviksim {

namespace {

auto namedHeader(const QList<QPair<QString, QString>> &headers, const QString &name)
{
    return std::find_if(headers.cbegin(), headers.cend(), [&name](const auto &header) {
        return header.first.compare(name, Qt::CaseInsensitive) == 0;
    });
}

} // namespace

QString ReceivedRequest::target() const
{
    return query.isEmpty() ? path : path + QLatin1Char('?') + query.query(QUrl::PrettyDecoded);
}

QString ReceivedRequest::header(const QString &name) const
{
    const auto found = namedHeader(headers, name);
    return found != headers.cend() ? found->second : QString();
}

bool ReceivedRequest::hasHeader(const QString &name) const
{
    return namedHeader(headers, name) != headers.cend();
}

QJsonObject ReceivedRequest::json() const
{
    return QJsonDocument::fromJson(body).object();
}

} // namespace zorviksim
