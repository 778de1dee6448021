#include "sim/Simulator.h"

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
    auto server = std::make_unique<HttpServer>(
        [this](const ReceivedRequest &request) { return handle(request); });
    if (servesTls() && !server->useTls(m_options.tlsCertificateFile, m_options.tlsPrivateKeyFile))
        return false;
    m_stopSignal.clear();
    if (!server->listen(host, port))
        return false;
    m_host = host;
    m_port = server->port();
    m_server = std::move(server);
    return true;
}

bool Simulator::servesTls() const
{
    return !m_options.tlsCertificateFile.isEmpty() && !m_options.tlsPrivateKeyFile.isEmpty();
}

void Simulator::stop()
{
    if (!m_server)
        return;
    m_stopSignal.raise();
    m_server->stop();
    m_server.reset();
}

QString Simulator::baseUrl() const
{
    const QString host
        = m_host.contains(QLatin1Char(':')) ? QLatin1Char('[') + m_host + QLatin1Char(']') : m_host;
    const QString scheme = servesTls() ? QStringLiteral("https") : QStringLiteral("http");
    return QStringLiteral("%1://%2:%3/").arg(scheme, host).arg(m_port);
}

HttpAnswer Simulator::handle(const ReceivedRequest &request)
{
    m_journal.append(request);
    const ServiceReply reply = answer(request);
    if (reply.delay().count() > 0)
        m_stopSignal.wait(reply.delay());
    return {reply.httpStatus(), reply.contentType(), reply.body(), {}, reply.dropsConnection()};
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
