#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrlQuery>

namespace zorviksim {

// One request as it reached the simulator, kept so that tests can check what a client sent.
struct ReceivedRequest
{
    QString method;
    QString path;
    QUrlQuery query;
    QList<QPair<QString, QString>> headers;
    QByteArray body;

    // The path with its query, as a person reads it.
    QString target() const;
    // The first value of the header, its name compared case-insensitively; empty when absent.
    QString header(const QString &name) const;
    bool hasHeader(const QString &name) const;
    // The body as a JSON object; empty when it is none.
    QJsonObject json() const;
};

} // namespace zorviksim
