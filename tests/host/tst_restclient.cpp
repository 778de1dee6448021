#include "host/RestClient.h"
#include "host/log4qt/LogManager.h"
#include "host/log4qt/Logger.h"
#include "host/log4qt/MemoryAppender.h"

#include <QJsonObject>
#include <QTest>

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

const QString ApiKey = QStringLiteral("secret-api-key-7f3a");
const QString UserToken = QStringLiteral("secret-user-token-91c2");

// What the server saw of the last request.
struct ReceivedRequest
{
    std::string method;
    std::string body;
    httplib::Headers headers;
};

// A local HTTP server on a free port of 127.0.0.1, answering on its own thread.
class LocalServer
{
public:
    LocalServer()
    {
        m_server.Get("/echo", [this](const auto &request, auto &response) {
            record(request);
            response.set_content(R"({"answer":"get"})", "application/json");
        });
        m_server.Post("/echo", [this](const auto &request, auto &response) {
            record(request);
            response.set_content(R"({"answer":"post"})", "application/json");
        });
        m_server.Get("/failure", [](const auto &, auto &response) {
            response.status = 500;
            response.set_content(R"({"codeError":7,"error":"boom"})", "application/json");
        });
        m_server.Get("/text", [](const auto &, auto &response) {
            response.set_content("plain words", "text/plain");
        });
        m_server.Get("/empty-error", [](const auto &, auto &response) { response.status = 404; });
        m_server.Get("/slow", [this](const auto &, auto &response) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_released.wait_for(lock, std::chrono::seconds(10), [this] { return m_stopping; });
            response.set_content("{}", "application/json");
        });
        m_server.Get("/huge", [](const auto &, auto &response) {
            response.set_content(std::string(RestClient::MaxResponseSize + 1, 'x'), "text/plain");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }

    ~LocalServer()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_released.notify_all();
        m_server.stop();
        m_thread.join();
    }

    QUrl url(const QString &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
    }

    ReceivedRequest lastRequest() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lastRequest;
    }
    int requestCount() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requestCount;
    }

private:
    void record(const httplib::Request &request)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastRequest = {request.method, request.body, request.headers};
        ++m_requestCount;
    }

    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_stopping = false;
    ReceivedRequest m_lastRequest;
    int m_requestCount = 0;
};

// Accepts one connection and keeps the raw request head: the HTTP server above drops headers
// with empty values while parsing.
class RawRequestRecorder
{
public:
    RawRequestRecorder()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length);
        ::listen(m_listener, 1);
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serveOnce(); });
    }

    ~RawRequestRecorder()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/raw").arg(m_port)); }
    QByteArray head() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_head;
    }

private:
    void serveOnce()
    {
        const int connection = ::accept(m_listener, nullptr, nullptr);
        if (connection < 0)
            return;
        QByteArray received;
        char buffer[4096];
        while (!received.contains("\r\n\r\n")) {
            const ssize_t count = ::recv(connection, buffer, sizeof(buffer), 0);
            if (count <= 0)
                break;
            received.append(buffer, count);
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_head = received.left(received.indexOf("\r\n\r\n") + 2);
        }
        const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}";
        ::send(connection, answer, sizeof(answer) - 1, MSG_NOSIGNAL);
        ::close(connection);
    }

    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    QByteArray m_head;
};

// A port on 127.0.0.1 where nothing listens.
int closedPort()
{
    const int socketDescriptor = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ::bind(socketDescriptor, reinterpret_cast<sockaddr *>(&address), length);
    ::getsockname(socketDescriptor, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(socketDescriptor);
    return ntohs(address.sin_port);
}

QHash<QString, QString> serviceHeaders()
{
    return {{QStringLiteral("api-key"), ApiKey}, {QStringLiteral("user-token"), UserToken}};
}

std::string headerValue(const ReceivedRequest &request, const char *name)
{
    const auto found = request.headers.find(name);
    return found == request.headers.end() ? std::string("<absent>") : found->second;
}

} // namespace

class TestRestClient : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void postSendsDocumentAndHeaders();
    void getSendsNoBody();
    void emptyHeaderValueIsSent();
    void httpErrorKeepsTheServiceEnvelope();
    void bodyThatIsNotJson_data();
    void bodyThatIsNotJson();
    void refusedConnection();
    void slowAnswerTimesOut();
    void oversizedAnswerIsRefused();
    void headerWithLineBreakIsNotSent();
    void logNamesTheExchangeButNoSecrets();

private:
    QScopedPointer<LocalServer> m_server;
    Log4Qt::MemoryAppender m_log;
    const Log4Qt::Logger *m_logger = nullptr;
};

void TestRestClient::initTestCase()
{
    // The exchanges go straight to the local server.
    for (const char *variable :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(variable);
    m_server.reset(new LocalServer);
    m_logger = Log4Qt::LogManager::logger(QStringLiteral("resttest"));
}

void TestRestClient::init()
{
    m_log.clear();
    Log4Qt::LogManager::addAppender(&m_log);
    Log4Qt::LogManager::setThreshold(Log4Qt::Level::Debug);
}

void TestRestClient::cleanup()
{
    Log4Qt::LogManager::removeAppender(&m_log);
}

void TestRestClient::postSendsDocumentAndHeaders()
{
    RestClient client;
    client.setTimeout(5000);
    const QJsonDocument body(QJsonObject{{QStringLiteral("amount"), 150.5},
                                         {QStringLiteral("text"), QStringLiteral("чек")}});
    QVERIFY(client.post(m_server->url("/echo"), body, serviceHeaders()));

    const ReceivedRequest request = m_server->lastRequest();
    QCOMPARE(request.method, std::string("POST"));
    QCOMPARE(QByteArray::fromStdString(request.body), body.toJson(QJsonDocument::Compact));
    QCOMPARE(headerValue(request, "api-key"), ApiKey.toStdString());
    QCOMPARE(headerValue(request, "user-token"), UserToken.toStdString());
    QCOMPARE(headerValue(request, "Content-Type"), std::string("application/json"));
    QCOMPARE(client.lastError(), int(RestClient::NoError));
    QVERIFY(client.lastErrorText().isEmpty());
    QVERIFY(!client.isTimedOut());
    QCOMPARE(client.httpStatus(), 200);
    QCOMPARE(client.responseDocument().object().value(QStringLiteral("answer")).toString(),
             QStringLiteral("post"));
}

void TestRestClient::getSendsNoBody()
{
    RestClient client;
    QUrl url = m_server->url("/echo");
    url.setQuery(QStringLiteral("client_transaction=abc"));
    QVERIFY(client.get(url, QJsonDocument(QJsonObject{{"ignored", 1}}), serviceHeaders()));

    const ReceivedRequest request = m_server->lastRequest();
    QCOMPARE(request.method, std::string("GET"));
    QVERIFY(request.body.empty());
    QCOMPARE(headerValue(request, "api-key"), ApiKey.toStdString());
    QCOMPARE(client.responseDocument().object().value(QStringLiteral("answer")).toString(),
             QStringLiteral("get"));
}

// A till without a configured token still sends the header, empty.
void TestRestClient::emptyHeaderValueIsSent()
{
    RawRequestRecorder recorder;
    RestClient client;
    client.setTimeout(5000);
    QVERIFY(client.post(recorder.url(),
                        QJsonDocument(QJsonObject()),
                        {{QStringLiteral("api-key"), ApiKey}, {QStringLiteral("user-token"), {}}}));
    const QByteArray head = recorder.head();
    QVERIFY2(head.contains("\r\nuser-token:\r\n"), head.constData());
    const QByteArray apiKeyLine = "\r\napi-key: " + ApiKey.toUtf8() + "\r\n";
    QVERIFY2(head.contains(apiKeyLine), head.constData());
}

void TestRestClient::httpErrorKeepsTheServiceEnvelope()
{
    RestClient client;
    QVERIFY(!client.get(m_server->url("/failure"), QJsonDocument(), serviceHeaders()));
    QCOMPARE(client.lastError(), int(RestClient::HttpError));
    QCOMPARE(client.httpStatus(), 500);
    QVERIFY(client.isTimedOut()); // the service may have acted before it failed
    QCOMPARE(client.lastErrorText().id(), QStringLiteral("restClientHttpError"));
    QCOMPARE(client.lastErrorText().defaultText(), QStringLiteral("Ошибка сервера (HTTP 500)"));
    const QJsonObject envelope = client.responseDocument().object();
    QCOMPARE(envelope.value(QStringLiteral("codeError")).toInt(), 7);
    QCOMPARE(envelope.value(QStringLiteral("error")).toString(), QStringLiteral("boom"));
}

void TestRestClient::bodyThatIsNotJson_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("error");

    QTest::newRow("plain text") << "/text" << int(RestClient::NoError);
    QTest::newRow("error without body") << "/empty-error" << int(RestClient::HttpError);
}

void TestRestClient::bodyThatIsNotJson()
{
    QFETCH(QString, path);
    QFETCH(int, error);

    RestClient client;
    client.get(m_server->url(path), QJsonDocument(), {});
    QCOMPARE(client.lastError(), error);
    QVERIFY(client.responseDocument().isNull());
    QVERIFY(!client.isTimedOut());
}

void TestRestClient::refusedConnection()
{
    RestClient client;
    client.setTimeout(5000);
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/echo").arg(closedPort()));
    QVERIFY(!client.post(url, QJsonDocument(QJsonObject()), serviceHeaders()));
    QCOMPARE(client.lastError(), int(RestClient::ConnectionFailed));
    QCOMPARE(client.lastErrorText(),
             tr::Tr(QStringLiteral("restClientConnectionFailed"),
                    QStringLiteral("Нет связи с сервером")));
    QVERIFY(!client.isTimedOut());
    QVERIFY(client.responseDocument().isNull());
}

void TestRestClient::slowAnswerTimesOut()
{
    RestClient client;
    client.setTimeout(200);
    QVERIFY(!client.get(m_server->url("/slow"), QJsonDocument(), serviceHeaders()));
    QCOMPARE(client.lastError(), int(RestClient::TimedOut));
    QCOMPARE(client.lastErrorText().id(), QStringLiteral("restClientTimeout"));
    QVERIFY(client.isTimedOut());
}

// The service got the request; whatever it did with it is unknown.
void TestRestClient::oversizedAnswerIsRefused()
{
    RestClient client;
    client.setTimeout(20000);
    QVERIFY(!client.get(m_server->url("/huge"), QJsonDocument(), serviceHeaders()));
    QCOMPARE(client.lastError(), int(RestClient::ResponseTooLarge));
    QCOMPARE(client.lastErrorText().id(), QStringLiteral("restClientResponseTooLarge"));
    QVERIFY(client.isTimedOut());
    QVERIFY(client.responseBody().isEmpty());
}

void TestRestClient::headerWithLineBreakIsNotSent()
{
    const int before = m_server->requestCount();
    RestClient client;
    QVERIFY(!client.post(m_server->url("/echo"),
                         QJsonDocument(QJsonObject()),
                         {{QStringLiteral("user-token"), QStringLiteral("x\r\nX-Injected: 1")}}));
    QCOMPARE(client.lastError(), int(RestClient::OtherError));
    QCOMPARE(client.lastErrorText().id(), QStringLiteral("restClientError"));
    QVERIFY(!client.isTimedOut());
    QCOMPARE(m_server->requestCount(), before);
}

void TestRestClient::logNamesTheExchangeButNoSecrets()
{
    RestClient client;
    client.setLogger(m_logger);
    const QJsonDocument body(
        QJsonObject{{QStringLiteral("marker"), QStringLiteral("body-marker-5d1")}});
    client.post(m_server->url("/echo"), body, serviceHeaders());
    client.get(m_server->url("/failure"), QJsonDocument(), serviceHeaders());

    const QList<Log4Qt::LoggingEvent> events = m_log.events();
    QVERIFY(!events.isEmpty());
    const QString all = m_log.lines().join(QLatin1Char('\n'));
    QVERIFY2(all.contains(QLatin1String("POST")) && all.contains(QLatin1String("/echo")),
             qPrintable(all));
    QVERIFY2(all.contains(QLatin1String("500")), qPrintable(all));
    QVERIFY(!all.contains(ApiKey));
    QVERIFY(!all.contains(UserToken));
    QVERIFY(!all.contains(QLatin1String("body-marker-5d1")));
    QVERIFY(!all.contains(QLatin1String("boom")));
    for (const Log4Qt::LoggingEvent &event : events)
        QCOMPARE(event.level, Log4Qt::Level::Debug);
}

QTEST_GUILESS_MAIN(TestRestClient)

#include "tst_restclient.moc"
