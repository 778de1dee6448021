#include "sim/Simulator.h"

#include "sim/SimulatorHttpServer.h"

#include <QJsonDocument>

#include <optional>

namespace zorviksim {

namespace {

const QString StatePath = QStringLiteral("/sim/state");
const QString ResultPath = QStringLiteral("/cpqr/operation/result");

using Operation = ServiceReply (PaymentService::*)(const QJsonObject &);

struct PostEndpoint
{
    const char *path;
    Operation operation;
};

const PostEndpoint PostEndpoints[] = {
    {"/cpqr/start_session", &PaymentService::startSession},
    {"/cpqr/operation/create", &PaymentService::createOrder},
    {"/cpqr/operation/cancel", &PaymentService::cancelOrder},
    {"/cpqr/operation/return", &PaymentService::returnOrder},
};

// The headers of a request head in the order sent, empty values included.
QList<QPair<QString, QString>> headerLines(const std::string &head)
{
    QList<QPair<QString, QString>> headers;
    const QList<QByteArray> lines = QByteArray::fromStdString(head).split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            headers.append({QString::fromUtf8(line.left(colon)),
                            QString::fromUtf8(line.mid(colon + 1).trimmed())});
    }
    return headers;
}

// The headers as the server parsed them, without the connection's addresses that it adds.
QList<QPair<QString, QString>> parsedHeaders(const httplib::Request &request)
{
    QList<QPair<QString, QString>> headers;
    for (const auto &[name, value] : request.headers) {
        if (name.rfind("REMOTE_", 0) != 0 && name.rfind("LOCAL_", 0) != 0)
            headers.append({QString::fromStdString(name), QString::fromStdString(value)});
    }
    return headers;
}

ReceivedRequest received(const httplib::Request &request)
{
    ReceivedRequest entry;
    entry.method = QString::fromStdString(request.method);
    entry.path = QString::fromStdString(request.path);
    const std::string::size_type queryStart = request.target.find('?');
    if (queryStart != std::string::npos)
        entry.query.setQuery(QString::fromStdString(request.target.substr(queryStart + 1)));
    const std::string head = SimulatorHttpServer::currentRequestHead();
    entry.headers = head.empty() ? parsedHeaders(request) : headerLines(head);
    entry.body = QByteArray::fromStdString(request.body);
    return entry;
}

std::optional<QJsonObject> jsonObject(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

bool headerMatches(const ReceivedRequest &request, const char *name, const QString &expected)
{
    return expected.isEmpty() || request.header(QLatin1String(name)) == expected;
}

} // namespace

Simulator::Simulator(const SimulatorOptions &options)
    : m_options(options)
    , m_service(options.orderExpiry, options.slowAnswerDelay)
{}

Simulator::~Simulator()
{
    stop();
}

bool Simulator::start(const QString &host, quint16 port)
{
    if (m_server)
        return false;
    std::unique_ptr<httplib::Server> server = createServer();
    if (!server->is_valid())
        return false;
    // The library's default lets a second server share a busy port and steal half of its
    // connections; a restarted simulator only needs to reuse a port left in TIME_WAIT.
    server->set_socket_options([](socket_t socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    const httplib::Server::Handler handler
        = [this](const httplib::Request &request, httplib::Response &response) {
              handle(request, response);
          };
    // Every path, also one whose decoded form holds a line break, which "." does not match.
    const std::string anyPath = "[\\s\\S]*";
    server->Get(anyPath, handler)
        .Post(anyPath, handler)
        .Put(anyPath, handler)
        .Patch(anyPath, handler)
        .Delete(anyPath, handler);
    const std::string address = host.toStdString();
    const int boundPort = port == 0 ? server->bind_to_any_port(address)
                                    : (server->bind_to_port(address, port) ? port : -1);
    if (boundPort <= 0)
        return false;

    m_host = host;
    m_port = static_cast<quint16>(boundPort);
    m_stopSignal.clear();
    m_listenEnded = false;
    m_server = std::move(server);
    m_listener = std::thread([this] {
        m_server->listen_after_bind();
        m_listenEnded = true;
    });
    waitUntilListening();
    return true;
}

bool Simulator::servesTls() const
{
    return !m_options.tlsCertificateFile.isEmpty() && !m_options.tlsPrivateKeyFile.isEmpty();
}

std::unique_ptr<httplib::Server> Simulator::createServer() const
{
    if (!servesTls())
        return std::make_unique<SimulatorHttpServer>();
    return std::make_unique<httplib::SSLServer>(
        m_options.tlsCertificateFile.toLocal8Bit().constData(),
        m_options.tlsPrivateKeyFile.toLocal8Bit().constData());
}

// The server ignores stop() until its accept loop has begun; stopping right after starting
// must not leave that loop running for ever.
void Simulator::waitUntilListening() const
{
    while (!m_server->is_running() && !m_listenEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void Simulator::stop()
{
    if (!m_server)
        return;
    m_stopSignal.raise();
    m_server->stop();
    m_listener.join();
    m_server.reset();
}

QString Simulator::baseUrl() const
{
    const QString host
        = m_host.contains(QLatin1Char(':')) ? QLatin1Char('[') + m_host + QLatin1Char(']') : m_host;
    const QString scheme = servesTls() ? QStringLiteral("https") : QStringLiteral("http");
    return QStringLiteral("%1://%2:%3/").arg(scheme, host).arg(m_port);
}

void Simulator::handle(const httplib::Request &request, httplib::Response &response)
{
    const ReceivedRequest entry = received(request);
    m_journal.append(entry);
    const ServiceReply reply = answer(entry);
    if (reply.delay().count() > 0)
        m_stopSignal.wait(reply.delay());
    if (reply.form() == ServiceReply::Form::DroppedConnection) {
        SimulatorHttpServer::abandonCurrentConnection();
        return;
    }
    response.status = reply.httpStatus();
    response.set_content(reply.body().toStdString(), reply.contentType());
}

ServiceReply Simulator::answer(const ReceivedRequest &request)
{
    const bool isGet = request.method == QLatin1String("GET");
    if (isGet && request.path == StatePath)
        return ServiceReply::json(m_service.state());
    if (!isAuthorised(request)) {
        return ServiceReply::failure(ErrorCode::Unauthorized,
                                     QStringLiteral("Доступ запрещён: неверный api-key или "
                                                    "user-token"),
                                     401);
    }
    if (isGet && request.path == ResultPath) {
        return m_service.orderResult(
            request.query.queryItemValue(QStringLiteral("client_transaction"), QUrl::FullyDecoded));
    }
    if (request.method == QLatin1String("POST")) {
        for (const PostEndpoint &endpoint : PostEndpoints) {
            if (request.path != QLatin1String(endpoint.path))
                continue;
            const std::optional<QJsonObject> body = jsonObject(request.body);
            if (!body) {
                return ServiceReply::failure(ErrorCode::InvalidRequest,
                                             QStringLiteral("Некорректный запрос: тело не "
                                                            "является объектом JSON"),
                                             400);
            }
            return (m_service.*endpoint.operation)(*body);
        }
    }
    return ServiceReply::failure(
        ErrorCode::UnknownEndpoint,
        QStringLiteral("Неизвестный метод %1 %2").arg(request.method, request.path),
        404);
}

bool Simulator::isAuthorised(const ReceivedRequest &request) const
{
    return headerMatches(request, "api-key", m_options.apiKey)
           && headerMatches(request, "user-token", m_options.userToken);
}

} // namespace zorviksim
