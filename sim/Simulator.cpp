#include "sim/Simulator.h"

#include <QFile>
#include <QJsonDocument>
#include <QUrl>

#include <optional>

namespace zorviksim {

namespace {

const QString StatePath = QStringLiteral("/sim/state");
const QString RequestPath = QStringLiteral("/sim/request");
const QString ResultPath = QStringLiteral("/cpqr/operation/result");

using Operation = ServiceReply (PaymentService::*)(const QJsonObject &);

enum class Access { Credentials, Open };

struct PostEndpoint
{
    const char *path;
    Operation operation;
    Access access;
};

const PostEndpoint PostEndpoints[] = {
    {"/cpqr/start_session", &PaymentService::startSession, Access::Credentials},
    {"/cpqr/operation/create", &PaymentService::createOrder, Access::Credentials},
    {"/cpqr/operation/cancel", &PaymentService::cancelOrder, Access::Credentials},
    {"/cpqr/operation/return", &PaymentService::returnOrder, Access::Credentials},
    // The sandbox's controls, as the page and scripts use them.
    {"/sim/phone", &PaymentService::decideByPhone, Access::Open},
    {"/sim/fault", &PaymentService::armFault, Access::Open},
    {"/sim/expire", &PaymentService::expireOrder, Access::Open},
    {"/sim/reset", &PaymentService::reset, Access::Open},
};

struct PageFile
{
    const char *path;
    const char *resource;
    const char *contentType;
};

const PageFile PageFiles[] = {
    {"/", ":/sim/page/index.html", "text/html; charset=utf-8"},
    {"/sim/page.css", ":/sim/page/page.css", "text/css; charset=utf-8"},
    {"/sim/page.js", ":/sim/page/page.js", "text/javascript; charset=utf-8"},
};

// The old address of a service that moved: every request under it is answered with a permanent
// redirect to the same path without the prefix, and reaches no endpoint. A till must take that
// as a refusal and not follow it with its credentials.
const QString MovedPrefix = QStringLiteral("/moved/");

std::optional<HttpAnswer> movedService(const ReceivedRequest &request)
{
    if (!request.path.startsWith(MovedPrefix))
        return std::nullopt;
    // The path arrives decoded: encoded again, no line break of the request reaches the header.
    const QByteArray target
        = QUrl::toPercentEncoding(request.path.mid(MovedPrefix.size() - 1), "/");
    return HttpAnswer{
        308, "text/plain", "Moved to " + target + '\n', {{"Location", target}}, false};
}

// The page loads nothing but its own files, and no script but its own runs.
const QByteArray PagePolicy = "default-src 'none'; script-src 'self'; style-src 'self'; "
                              "connect-src 'self'; base-uri 'none'; form-action 'none'";

std::optional<HttpAnswer> pageFile(const ReceivedRequest &request)
{
    if (request.method != QLatin1String("GET"))
        return std::nullopt;
    for (const PageFile &file : PageFiles) {
        QFile resource(QLatin1String(file.resource));
        if (request.path == QLatin1String(file.path) && resource.open(QIODevice::ReadOnly)) {
            return HttpAnswer{
                200,
                file.contentType,
                resource.readAll(),
                {{"Content-Security-Policy", PagePolicy}, {"Cache-Control", "no-store"}},
                false};
        }
    }
    return std::nullopt;
}

const PostEndpoint *postEndpoint(const ReceivedRequest &request)
{
    if (request.method != QLatin1String("POST"))
        return nullptr;
    for (const PostEndpoint &endpoint : PostEndpoints) {
        if (request.path == QLatin1String(endpoint.path))
            return &endpoint;
    }
    return nullptr;
}

// "latest=N" of the state's query: only the latest N of each list, and the latest requests.
qsizetype latestParameter(const ReceivedRequest &request)
{
    return qMax(0, request.query.queryItemValue(QStringLiteral("latest")).toInt());
}

// "order=ID" of the state's query: only the requests of that order.
QString orderParameter(const ReceivedRequest &request)
{
    return request.query.queryItemValue(QStringLiteral("order"), QUrl::FullyDecoded);
}

// The sandbox's own reading requests, which the request log leaves out: the page polls them.
bool isSandboxReading(const ReceivedRequest &request)
{
    return request.method == QLatin1String("GET")
           && (request.path == StatePath || request.path == RequestPath);
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
    , m_service(options)
{}

Simulator::~Simulator()
{
    stop();
}

bool Simulator::start(const QString &host, quint16 port)
{
    if (m_server) {
        m_errorString = QStringLiteral("the simulator runs already");
        return false;
    }
    auto server = std::make_unique<HttpServer>(
        [this](const ReceivedRequest &request) { return handle(request); });
    const bool tlsReady
        = !servesTls() || server->useTls(m_options.tlsCertificateFile, m_options.tlsPrivateKeyFile);
    if (tlsReady)
        m_stopSignal.clear();
    if (!tlsReady || !server->listen(host, port)) {
        m_errorString = server->errorString();
        return false;
    }
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

QJsonObject Simulator::state(qsizetype latest, const QString &order)
{
    QJsonObject state = m_service.state(latest);
    if (latest > 0) {
        state.insert(QStringLiteral("requests"), m_journal.latest(latest, order));
        state.insert(QStringLiteral("requestsKept"), m_journal.size());
    }
    return state;
}

// The page's own requests stay out of the journal: it polls the state every second.
HttpAnswer Simulator::handle(const ReceivedRequest &request)
{
    if (const std::optional<HttpAnswer> page = pageFile(request))
        return *page;
    if (const std::optional<HttpAnswer> moved = movedService(request))
        return *moved;
    const ServiceReply reply = answer(request);
    if (!isSandboxReading(request))
        m_journal.append(request, reply);
    if (reply.delay().count() > 0)
        m_stopSignal.wait(reply.delay());
    return {reply.httpStatus(), reply.contentType(), reply.body(), {}, reply.dropsConnection()};
}

ServiceReply Simulator::answer(const ReceivedRequest &request)
{
    const bool isGet = request.method == QLatin1String("GET");
    if (isGet && request.path == StatePath)
        return ServiceReply::json(state(latestParameter(request), orderParameter(request)));
    if (isGet && request.path == RequestPath)
        return requestDetails(request);
    const PostEndpoint *endpoint = postEndpoint(request);
    if ((!endpoint || endpoint->access == Access::Credentials) && !isAuthorised(request)) {
        return ServiceReply::failure(ErrorCode::Unauthorized,
                                     QStringLiteral("Доступ запрещён: неверный api-key или "
                                                    "user-token"),
                                     401);
    }
    if (isGet && request.path == ResultPath) {
        return m_service.orderResult(
            request.query.queryItemValue(QStringLiteral("client_transaction"), QUrl::FullyDecoded));
    }
    if (endpoint) {
        const std::optional<QJsonObject> body = jsonObject(request.body);
        // A page of another site can post plain text here without the browser asking first,
        // but not JSON.
        const bool crossSiteSafe
            = endpoint->access == Access::Credentials
              || request.header(QStringLiteral("Content-Type")).startsWith(u"application/json");
        if (!body || !crossSiteSafe) {
            return ServiceReply::failure(ErrorCode::InvalidRequest,
                                         QStringLiteral("Некорректный запрос: тело не "
                                                        "является объектом JSON"),
                                         400);
        }
        const ServiceReply reply = (m_service.*endpoint->operation)(*body);
        // The request log belongs to the books: after a reset it starts with the reset.
        if (endpoint->operation == &PaymentService::reset)
            m_journal.clear();
        return reply;
    }
    return ServiceReply::failure(
        ErrorCode::UnknownEndpoint,
        QStringLiteral("Неизвестный метод %1 %2").arg(request.method, request.path),
        404);
}

ServiceReply Simulator::requestDetails(const ReceivedRequest &request) const
{
    const QString id = request.query.queryItemValue(QStringLiteral("id"));
    const std::optional<QJsonObject> details = m_journal.details(id.toLongLong());
    if (!details) {
        return ServiceReply::failure(
            ErrorCode::UnknownRequest, QStringLiteral("Запрос %1 не сохранён").arg(id), 404);
    }
    return ServiceReply::json(*details);
}

bool Simulator::isAuthorised(const ReceivedRequest &request) const
{
    return headerMatches(request, "api-key", m_options.apiKey)
           && headerMatches(request, "user-token", m_options.userToken);
}

} // namespace zorviksim
