#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

namespace zorviksim {

// What the HTTP server writes back for one request, or that it closes the connection without
// writing anything.
struct HttpAnswer
{
    int status = 200;
    QByteArray contentType = "text/plain";
    QByteArray body;
    // Besides Content-Type, Content-Length and Connection.
    QList<QPair<QByteArray, QByteArray>> headers;
    bool dropConnection = false;
};

} // namespace zorviksim
