#pragma once

#include "sim/HttpAnswer.h"
#include "sim/ReceivedRequest.h"

#include <QSslConfiguration>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

namespace zorviksim {

// A small HTTP/1.1 server that serves one request per connection, each on a thread of its own
// pool, over plain TCP or TLS. A handler sees the request head exactly as it arrived (headers
// with empty values and percent signs in values included) and may leave the client without
// any answer, over TLS as well, as a service whose connection breaks does.
class HttpServer
{
public:
    using Handler = std::function<HttpAnswer(const ReceivedRequest &)>;

    explicit HttpServer(Handler handler);
    ~HttpServer();

    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    // Serve HTTPS with this certificate chain and private key (PEM files); false when they
    // cannot be read, naming the file in errorString().
    bool useTls(const QString &certificateFile, const QString &privateKeyFile);
    // Binds and starts accepting (port 0: any free port); false when the address is busy or
    // cannot be bound, with the system's reason in errorString().
    bool listen(const QString &host, quint16 port);
    QString errorString() const { return m_errorString; }
    // Ends accepting, cuts waiting connections short and waits for the handlers running.
    void stop();
    quint16 port() const { return m_port; }

private:
    void acceptConnections();

    const Handler m_handler;
    std::optional<QSslConfiguration> m_tls;
    QThreadPool m_connections;
    std::atomic<bool> m_stopping{false};
    int m_listeningSocket = -1;
    quint16 m_port = 0;
    std::thread m_acceptor;
    QString m_errorString;
};

} // namespace zorviksim
