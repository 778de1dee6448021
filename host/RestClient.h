#pragma once

#include "host/Tr.h"

#include <QHash>
#include <QJsonDocument>
#include <QObject>
#include <QUrl>

namespace Log4Qt {
class Logger;
}

// One blocking HTTP exchange over libcurl on the calling thread. TLS peers are verified. An
// HTTP status of 400 or more fails the exchange, but its body is still read so that an error
// envelope of the service can be reported. Header values are never logged.
class RestClient : public QObject
{
    Q_OBJECT

public:
    // What a body may be at most; a larger answer fails the exchange.
    static constexpr qint64 MaxResponseSize = 8 * 1024 * 1024;

    enum Error {
        NoError = 0,
        ConnectionFailed = 1, // refused, unreachable, unknown host: the request was not sent
        TimedOut = 2,
        ConnectionBroken = 3, // the request was sent, the answer did not arrive whole
        ResponseTooLarge = 4,
        HttpError = 5,
        TlsError = 6,
        OtherError = 7,
    };

    explicit RestClient(QObject *parent = nullptr);
    ~RestClient() override;

    void setLogger(const Log4Qt::Logger *logger) { m_logger = logger; }

    virtual bool
    get(const QUrl &url, const QJsonDocument &document, const QHash<QString, QString> &headers);
    virtual bool
    post(const QUrl &url, const QJsonDocument &document, const QHash<QString, QString> &headers);
    virtual int lastError() const;
    virtual tr::Tr lastErrorText() const;
    virtual QJsonDocument responseDocument() const;
    virtual void setTimeout(qint64 milliseconds);
    // True when the failed exchange may have reached the service: a time-out, a connection
    // that broke after the request was sent, an answer too large to read, or an HTTP server
    // error (5xx).
    virtual bool isTimedOut() const;

    int httpStatus() const { return m_httpStatus; }
    QByteArray responseBody() const { return m_responseBody; }

    // Certificates of the authorities to trust instead of the system's (PEM file); empty for
    // the system's store. Applies to every client made afterwards in this process.
    static void setCaCertificatesFile(const QString &path);

private:
    bool perform(const QByteArray &method,
                 const QUrl &url,
                 const QJsonDocument &document,
                 const QHash<QString, QString> &headers);

    const Log4Qt::Logger *m_logger = nullptr;
    qint64 m_timeout = 0;
    int m_lastError = NoError;
    tr::Tr m_lastErrorText;
    bool m_timedOut = false;
    int m_httpStatus = 0;
    QByteArray m_responseBody;
};
