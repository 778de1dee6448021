#pragma once

#include "sim/HttpServer.h"

#include <QByteArray>
#include <QSslConfiguration>

#include <atomic>
#include <memory>
#include <optional>

class QTcpSocket;

namespace zorviksim {

// One accepted connection of the HTTP server: reads one request, lets the handler answer it and
// closes the connection, with or without the answer.
class HttpConnection
{
public:
    HttpConnection(int socket,
                   const std::optional<QSslConfiguration> &tls,
                   const std::atomic<bool> &stopping);
    ~HttpConnection();

    void serve(const HttpServer::Handler &handler);

private:
    bool startTls(const QSslConfiguration &tls);
    // The request line and header lines up to the blank line; empty when none came in time.
    QByteArray readHead();
    bool readBody(qsizetype length, QByteArray *body);
    bool waitForData();
    void write(const HttpAnswer &answer, bool withBody);
    void flush();

    std::unique_ptr<QTcpSocket> m_socket;
    // Read from the socket and not yet taken as head or body.
    QByteArray m_received;
    const std::atomic<bool> &m_stopping;
};

} // namespace zorviksim
