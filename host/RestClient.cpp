#include "host/RestClient.h"

#include "host/log4qt/Logger.h"

#include <QElapsedTimer>
#include <QMutex>

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace {

struct CaCertificates
{
    QMutex mutex;
    QByteArray file; // empty: the system's store
};

CaCertificates &caCertificates()
{
    static CaCertificates instance;
    return instance;
}

QByteArray caCertificatesFile()
{
    CaCertificates &certificates = caCertificates();
    QMutexLocker locker(&certificates.mutex);
    return certificates.file;
}

void initialiseCurlOnce()
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The operator's description of each failure, with the status filled in for HTTP errors.
tr::Tr errorText(RestClient::Error error, int httpStatus)
{
    switch (error) {
    case RestClient::NoError:
        return tr::Tr();
    case RestClient::ConnectionFailed:
        return tr::Tr(QStringLiteral("restClientConnectionFailed"),
                      QStringLiteral("Нет связи с сервером"));
    case RestClient::TimedOut:
        return tr::Tr(QStringLiteral("restClientTimeout"),
                      QStringLiteral("Превышено время ожидания ответа сервера"));
    case RestClient::ConnectionBroken:
        return tr::Tr(QStringLiteral("restClientConnectionBroken"),
                      QStringLiteral("Соединение с сервером прервано"));
    case RestClient::ResponseTooLarge:
        return tr::Tr(QStringLiteral("restClientResponseTooLarge"),
                      QStringLiteral("Слишком большой ответ сервера"));
    case RestClient::HttpError:
        return tr::Tr(QStringLiteral("restClientHttpError"),
                      QStringLiteral("Ошибка сервера (HTTP %1)"))
            .arg(QString::number(httpStatus));
    case RestClient::TlsError:
        return tr::Tr(QStringLiteral("restClientTlsError"),
                      QStringLiteral("Ошибка защищённого соединения с сервером"));
    case RestClient::OtherError:
        break;
    }
    return tr::Tr(QStringLiteral("restClientError"), QStringLiteral("Ошибка обмена с сервером"));
}

RestClient::Error errorOf(CURLcode code)
{
    switch (code) {
    case CURLE_OK:
        return RestClient::NoError;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
        return RestClient::ConnectionFailed;
    case CURLE_OPERATION_TIMEDOUT:
        return RestClient::TimedOut;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return RestClient::ConnectionBroken;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
        return RestClient::TlsError;
    default:
        return RestClient::OtherError;
    }
}

// A header value is sent as it is; line breaks in it would start headers of their own.
bool isValidHeader(const QString &name, const QString &value)
{
    const auto breaksLine = [](QChar c) {
        return c == u'\r' || c == u'\n' || c == u'\0';
    };
    return !name.isEmpty() && !name.contains(QLatin1Char(':'))
           && std::none_of(name.cbegin(), name.cend(), breaksLine)
           && std::none_of(value.cbegin(), value.cend(), breaksLine);
}

struct CurlHandleDeleter
{
    void operator()(CURL *handle) const { curl_easy_cleanup(handle); }
};

struct CurlListDeleter
{
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};

using CurlHandle = std::unique_ptr<CURL, CurlHandleDeleter>;
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

struct ResponseSink
{
    QByteArray body;
    bool tooLarge = false;
};

size_t receiveBody(char *data, size_t size, size_t count, void *userData)
{
    auto *sink = static_cast<ResponseSink *>(userData);
    const size_t length = size * count;
    if (qint64(sink->body.size()) + qint64(length) > RestClient::MaxResponseSize) {
        sink->tooLarge = true;
        return 0; // anything but the length aborts the transfer
    }
    sink->body.append(data, qsizetype(length));
    return length;
}

// Every entry of the hash becomes a header; an empty value is written "Name;", which is how
// the transfer library sends a header with nothing after the colon.
bool appendHeaders(const QHash<QString, QString> &headers, bool hasBody, CurlList *list)
{
    bool hasContentType = false;
    for (auto header = headers.cbegin(); header != headers.cend(); ++header) {
        if (!isValidHeader(header.key(), header.value()))
            return false;
        hasContentType
            |= header.key().compare(QLatin1String("Content-Type"), Qt::CaseInsensitive) == 0;
        const QString line = header.value().isEmpty()
                                 ? QString(header.key() + QLatin1Char(';'))
                                 : QString(header.key() + QStringLiteral(": ") + header.value());
        list->reset(curl_slist_append(list->release(), line.toUtf8().constData()));
    }
    if (hasBody && !hasContentType)
        list->reset(curl_slist_append(list->release(), "Content-Type: application/json"));
    // No waiting for "100 Continue" before the body: the service answers at once.
    list->reset(curl_slist_append(list->release(), "Expect:"));
    return true;
}

} // namespace

RestClient::RestClient(QObject *parent)
    : QObject(parent)
{
    initialiseCurlOnce();
}

RestClient::~RestClient() = default;

bool RestClient::get(const QUrl &url,
                     const QJsonDocument &document,
                     const QHash<QString, QString> &headers)
{
    return perform(QByteArrayLiteral("GET"), url, document, headers);
}

bool RestClient::post(const QUrl &url,
                      const QJsonDocument &document,
                      const QHash<QString, QString> &headers)
{
    return perform(QByteArrayLiteral("POST"), url, document, headers);
}

int RestClient::lastError() const
{
    return m_lastError;
}

tr::Tr RestClient::lastErrorText() const
{
    return m_lastErrorText;
}

QJsonDocument RestClient::responseDocument() const
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(m_responseBody, &error);
    return error.error == QJsonParseError::NoError ? document : QJsonDocument();
}

void RestClient::setTimeout(qint64 milliseconds)
{
    m_timeout = qMax<qint64>(0, milliseconds);
}

bool RestClient::isTimedOut() const
{
    return m_timedOut;
}

void RestClient::setCaCertificatesFile(const QString &path)
{
    CaCertificates &certificates = caCertificates();
    QMutexLocker locker(&certificates.mutex);
    certificates.file = path.toLocal8Bit();
}

bool RestClient::perform(const QByteArray &method,
                         const QUrl &url,
                         const QJsonDocument &document,
                         const QHash<QString, QString> &headers)
{
    m_lastError = NoError;
    m_lastErrorText = tr::Tr();
    m_timedOut = false;
    m_httpStatus = 0;
    m_responseBody.clear();

    // Substituted in one pass with the other values: a "%2F" of the address must not be taken
    // for a placeholder.
    const QString loggedUrl = url.toDisplayString(QUrl::RemoveUserInfo);
    const auto fail = [this, &method, &loggedUrl](Error error, const QString &reason) {
        m_lastError = error;
        m_lastErrorText = errorText(error, m_httpStatus);
        if (m_logger)
            m_logger->debug(QStringLiteral("HTTP %1 %2: ошибка %3 (%4)")
                                .arg(QString::fromLatin1(method),
                                     loggedUrl,
                                     QString::number(int(error)),
                                     reason));
        return false;
    };

    const bool isPost = method == "POST";
    CurlList headerList;
    if (!appendHeaders(headers, isPost, &headerList))
        return fail(OtherError, QStringLiteral("недопустимый заголовок запроса"));
    const CurlHandle curl(curl_easy_init());
    if (!curl)
        return fail(OtherError, QStringLiteral("не удалось создать соединение"));

    const QByteArray body = isPost ? document.toJson(QJsonDocument::Compact) : QByteArray();
    const QByteArray encodedUrl = url.adjusted(QUrl::RemoveFragment).toEncoded();
    const QByteArray caFile = caCertificatesFile();
    char curlError[CURL_ERROR_SIZE] = {};
    ResponseSink sink;

    CURL *handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, encodedUrl.constData());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.isEmpty())
        curl_easy_setopt(handle, CURLOPT_CAINFO, caFile.constData());
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, long(m_timeout));
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headerList.get());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, receiveBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, curlError);
    if (isPost) {
        curl_easy_setopt(handle, CURLOPT_POST, 1L);
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.constData());
    } else {
        curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    }

    QElapsedTimer elapsed;
    elapsed.start();
    const CURLcode code = curl_easy_perform(handle);
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    m_httpStatus = int(status);

    if (code != CURLE_OK) {
        if (sink.tooLarge) {
            m_timedOut = true; // the request reached the service; what it did is unknown
            return fail(ResponseTooLarge,
                        QStringLiteral("ответ больше %1 байт").arg(MaxResponseSize));
        }
        const Error error = errorOf(code);
        long requestSize = 0;
        curl_easy_getinfo(handle, CURLINFO_REQUEST_SIZE, &requestSize);
        m_timedOut = error == TimedOut || error == ConnectionBroken
                     || (error == OtherError && requestSize > 0);
        const QString reason
            = QString::fromUtf8(curlError[0] ? curlError : curl_easy_strerror(code));
        return fail(error, reason);
    }

    m_responseBody = sink.body;
    if (m_logger)
        m_logger->debug(QStringLiteral("HTTP %1 %2: статус %3, %4 мс, отправлено %5 байт, "
                                       "получено %6 байт")
                            .arg(QString::fromLatin1(method),
                                 loggedUrl,
                                 QString::number(m_httpStatus),
                                 QString::number(elapsed.elapsed()),
                                 QString::number(body.size()),
                                 QString::number(m_responseBody.size())));
    if (m_httpStatus >= 300) {
        // A server error may come after the service acted on the request (or from a gateway in
        // front of it), so its outcome is unknown; a client error is a refusal, and so is a
        // redirect, which is not followed: the service did not act on this request.
        m_timedOut = m_httpStatus >= 500;
        return fail(HttpError, QStringLiteral("статус HTTP %1").arg(m_httpStatus));
    }
    return true;
}
