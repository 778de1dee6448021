#include "sim/HttpConnection.h"

#include <QDeadlineTimer>
#include <QSslSocket>

namespace zorviksim {

namespace {

constexpr int ReadTimeoutMs = 5000;
constexpr int WriteTimeoutMs = 5000;
// How often a connection waiting for its client looks whether the server stops.
constexpr int StopCheckMs = 100;
constexpr qsizetype MaximumHeadBytes = 64 * 1024;
// A cart of thousands of positions fits; the journal keeps a thousand bodies.
constexpr qsizetype MaximumBodyBytes = 1024 * 1024;
const QByteArray BlankLine = "\r\n\r\n";

struct Head
{
    ReceivedRequest request;
    qsizetype contentLength = 0;
    bool expectsContinue = false;
};

// The headers in the order sent, empty values included.
QList<QPair<QString, QString>> headerLines(const QList<QByteArray> &lines)
{
    QList<QPair<QString, QString>> headers;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            headers.append({QString::fromUtf8(line.left(colon)),
                            QString::fromUtf8(line.mid(colon + 1).trimmed())});
    }
    return headers;
}

// "METHOD target HTTP/1.x": the method, the decoded path and the query; false for no request.
bool readRequestLine(const QByteArray &line, ReceivedRequest *request)
{
    const QList<QByteArray> parts = line.trimmed().split(' ');
    if (parts.size() != 3 || !parts.at(1).startsWith('/') || !parts.at(2).startsWith("HTTP/1."))
        return false;
    request->method = QString::fromLatin1(parts.at(0));
    const QByteArray &target = parts.at(1);
    const qsizetype queryStart = target.indexOf('?');
    const QByteArray path = queryStart < 0 ? target : target.left(queryStart);
    request->path = QString::fromUtf8(QByteArray::fromPercentEncoding(path));
    if (queryStart >= 0)
        request->query.setQuery(QString::fromUtf8(target.mid(queryStart + 1)));
    return true;
}

// The body's length as announced; nothing for a chunked body, which no client of the service
// sends, or one beyond the limit.
std::optional<qsizetype> contentLength(const ReceivedRequest &request)
{
    if (request.hasHeader(QStringLiteral("Transfer-Encoding")))
        return std::nullopt;
    bool ok = true;
    const QString text = request.header(QStringLiteral("Content-Length"));
    const qsizetype length = text.isEmpty() ? 0 : text.toLongLong(&ok);
    if (!ok || length < 0 || length > MaximumBodyBytes)
        return std::nullopt;
    return length;
}

// The request line and the headers; nothing when the head is no request this server takes.
std::optional<Head> parseHead(const QByteArray &head)
{
    const QList<QByteArray> lines = head.left(head.size() - BlankLine.size()).split('\n');
    Head parsed;
    if (!readRequestLine(lines.constFirst(), &parsed.request))
        return std::nullopt;
    parsed.request.headers = headerLines(lines);
    const std::optional<qsizetype> length = contentLength(parsed.request);
    if (!length)
        return std::nullopt;
    parsed.contentLength = *length;
    parsed.expectsContinue = parsed.request.header(QStringLiteral("Expect"))
                                 .compare(u"100-continue", Qt::CaseInsensitive)
                             == 0;
    return parsed;
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    default:
        return "Status";
    }
}

} // namespace

HttpConnection::HttpConnection(int socket,
                               const std::optional<QSslConfiguration> &tls,
                               const std::atomic<bool> &stopping)
    : m_socket(tls ? std::make_unique<QSslSocket>() : std::make_unique<QTcpSocket>())
    , m_stopping(stopping)
{
    if (!m_socket->setSocketDescriptor(socket) || (tls && !startTls(*tls)))
        m_socket->abort();
}

HttpConnection::~HttpConnection() = default;

bool HttpConnection::startTls(const QSslConfiguration &tls)
{
    auto *secure = static_cast<QSslSocket *>(m_socket.get());
    secure->setSslConfiguration(tls);
    secure->startServerEncryption();
    return secure->waitForEncrypted(ReadTimeoutMs);
}

void HttpConnection::serve(const HttpServer::Handler &handler)
{
    const QByteArray head = readHead();
    if (head.isEmpty())
        return;
    std::optional<Head> parsed = parseHead(head);
    if (!parsed) {
        write({400, "text/plain", "bad request\n", {}, false}, true);
        return;
    }
    if (parsed->expectsContinue) {
        m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
        flush(); // over TLS a write waits for the next event otherwise
    }
    if (!readBody(parsed->contentLength, &parsed->request.body))
        return;
    const HttpAnswer answer = handler(parsed->request);
    if (answer.dropConnection)
        m_socket->abort();
    else
        write(answer, parsed->request.method != QLatin1String("HEAD"));
}

QByteArray HttpConnection::readHead()
{
    qsizetype end = -1;
    while (end < 0 && m_received.size() < MaximumHeadBytes && waitForData()) {
        const qsizetype searchFrom = qMax<qsizetype>(0, m_received.size() - 3);
        m_received += m_socket->readAll();
        end = m_received.indexOf(BlankLine, searchFrom);
    }
    if (end < 0)
        return {};
    const QByteArray head = m_received.left(end + BlankLine.size());
    m_received.remove(0, head.size());
    return head;
}

bool HttpConnection::readBody(qsizetype length, QByteArray *body)
{
    *body = m_received.left(length);
    while (body->size() < length) {
        if (!waitForData())
            return false;
        *body += m_socket->read(length - body->size());
    }
    return true;
}

bool HttpConnection::waitForData()
{
    if (m_socket->bytesAvailable() > 0)
        return true;
    const QDeadlineTimer deadline(ReadTimeoutMs);
    while (!m_stopping && !deadline.hasExpired()
           && m_socket->state() == QAbstractSocket::ConnectedState) {
        if (m_socket->waitForReadyRead(StopCheckMs))
            return true;
    }
    return false;
}

void HttpConnection::write(const HttpAnswer &answer, bool withBody)
{
    QByteArray message = "HTTP/1.1 " + QByteArray::number(answer.status) + ' '
                         + reasonPhrase(answer.status) + "\r\nContent-Type: " + answer.contentType
                         + "\r\nContent-Length: " + QByteArray::number(answer.body.size())
                         + "\r\nConnection: close\r\n";
    for (const auto &[name, value] : answer.headers)
        message += name + ": " + value + "\r\n";
    message += "\r\n";
    if (withBody)
        message += answer.body;
    m_socket->write(message);
    flush();
    m_socket->disconnectFromHost();
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->waitForDisconnected(WriteTimeoutMs);
}

// A client that stops reading is given up after the time-out.
void HttpConnection::flush()
{
    while (m_socket->bytesToWrite() > 0) {
        if (!m_socket->waitForBytesWritten(WriteTimeoutMs))
            return;
    }
}

} // namespace zorviksim
