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
        m_server.Get("/moved",
                     [](const auto &, auto &response) { response.set_redirect("/echo", 302); });
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
    void cleanup() { Log4Qt::LogManager::removeAppender(&m_log); }
    void sendsDocumentAndHeaders_data();
    void sendsDocumentAndHeaders();
    void emptyHeaderValueIsSent();
    void failures_data();
    void failures();
    void logNamesTheExchangeButNoSecrets();

private:
    QScopedPointer<LocalServer> m_server;
    Log4Qt::MemoryAppender m_log;
};

void TestRestClient::initTestCase()
{
    // The exchanges go straight to the local server.
    for (const char *variable :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(variable);
    m_server.reset(new LocalServer);
}

void TestRestClient::init()
{
    m_log.clear();
    Log4Qt::LogManager::addAppender(&m_log);
    Log4Qt::LogManager::setThreshold(Log4Qt::Level::Debug);
}

void TestRestClient::sendsDocumentAndHeaders_data()
{
    QTest::addColumn<bool>("isPost");
    QTest::addColumn<QByteArray>("sentBody");

    // A GET carries its data in the query: the document is not sent.
    QTest::newRow("POST") << true << QByteArray(R"({"amount":150.5,"text":"чек"})");
    QTest::newRow("GET") << false << QByteArray();
}

void TestRestClient::sendsDocumentAndHeaders()
{
    QFETCH(bool, isPost);
    const QJsonDocument body(QJsonObject{{"amount", 150.5}, {"text", QStringLiteral("чек")}});
    RestClient client;
    client.setTimeout(5000);
    QVERIFY(
        isPost ? client.post(m_server->url("/echo"), body, serviceHeaders())
               : client.get(m_server->url("/echo?client_transaction=abc"), body, serviceHeaders()));

    const ReceivedRequest request = m_server->lastRequest();
    QCOMPARE(request.method, isPost ? "POST" : "GET");
    QTEST(QByteArray::fromStdString(request.body), "sentBody");
    QCOMPARE(headerValue(request, "api-key"), ApiKey.toStdString());
    QCOMPARE(headerValue(request, "user-token"), UserToken.toStdString());
    if (isPost)
        QCOMPARE(headerValue(request, "Content-Type"), "application/json");
    QCOMPARE(client.lastError(), int(RestClient::NoError));
    QVERIFY(client.lastErrorText().isEmpty());
    QVERIFY(!client.isTimedOut());
    QCOMPARE(client.httpStatus(), 200);
    QCOMPARE(client.responseDocument().object().value("answer").toString(),
             isPost ? "post" : "get");
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

void TestRestClient::failures_data()
{
    QTest::addColumn<QString>("path"); // empty: a port where nothing listens
    QTest::addColumn<QString>("userToken");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<QString>("textId");
    // Whether the service may have acted on the request although no answer says so.
    QTest::addColumn<bool>("timedOut");

    QTest::newRow("refused connection")
        << "" << UserToken << 5000 << int(RestClient::ConnectionFailed) << 0
        << "restClientConnectionFailed" << false;
    QTest::newRow("time-out") << "/slow" << UserToken << 200 << int(RestClient::TimedOut) << 0
                              << "restClientTimeout" << true;
    QTest::newRow("oversized body")
        << "/huge" << UserToken << 20000 << int(RestClient::ResponseTooLarge) << 200
        << "restClientResponseTooLarge" << true;
    QTest::newRow("server error") << "/failure" << UserToken << 5000 << int(RestClient::HttpError)
                                  << 500 << "restClientHttpError" << true;
    QTest::newRow("client error without body")
        << "/empty-error" << UserToken << 5000 << int(RestClient::HttpError) << 404
        << "restClientHttpError" << false;
    // Redirects are not followed: the service did not act on this request.
    QTest::newRow("redirect") << "/moved" << UserToken << 5000 << int(RestClient::HttpError) << 302
                              << "restClientHttpError" << false;
    QTest::newRow("line break in a header")
        << "/echo"
        << "x\r\nX-Injected: 1" << 5000 << int(RestClient::OtherError) << 0 << "restClientError"
        << false;
    QTest::newRow("plain text") << "/text" << UserToken << 5000 << int(RestClient::NoError) << 200
                                << "" << false;
}

void TestRestClient::failures()
{
    QFETCH(QString, path);
    QFETCH(QString, userToken);
    QFETCH(int, timeout);

    const int requestsBefore = m_server->requestCount();
    const QUrl url = path.isEmpty()
                         ? QUrl(QStringLiteral("http://127.0.0.1:%1/echo").arg(closedPort()))
                         : m_server->url(path);
    RestClient client;
    client.setTimeout(timeout);
    const bool succeeded
        = client.get(url, QJsonDocument(), {{QStringLiteral("user-token"), userToken}});
    QCOMPARE(succeeded, client.lastError() == RestClient::NoError);
    QTEST(client.lastError(), "error");
    QTEST(client.httpStatus(), "httpStatus");
    QTEST(client.lastErrorText().id(), "textId");
    QTEST(client.isTimedOut(), "timedOut");
    // A header that would start a line of its own stops the request before it is sent.
    QCOMPARE(m_server->requestCount(), requestsBefore);
    if (client.httpStatus() == 500) {
        QCOMPARE(client.lastErrorText().defaultText(), "Ошибка сервера (HTTP 500)");
        QCOMPARE(client.responseDocument().object(),
                 QJsonObject({{"codeError", 7}, {"error", "boom"}}));
    } else {
        QVERIFY(client.responseDocument().isNull());
    }
    if (client.lastError() == RestClient::ResponseTooLarge)
        QVERIFY(client.responseBody().isEmpty());
}

void TestRestClient::logNamesTheExchangeButNoSecrets()
{
    RestClient client;
    client.setLogger(Log4Qt::LogManager::logger(QStringLiteral("resttest")));
    client.post(m_server->url("/echo"),
                QJsonDocument(QJsonObject{{"marker", "body-marker-5d1"}}),
                serviceHeaders());
    client.get(m_server->url("/failure"), QJsonDocument(), serviceHeaders());

    const QString all = m_log.lines().join(QLatin1Char('\n'));
    QVERIFY2(all.contains("POST") && all.contains("/echo") && all.contains("500"), qPrintable(all));
    for (const QString &secret :
         {ApiKey, UserToken, QStringLiteral("body-marker-5d1"), QStringLiteral("boom")})
        QVERIFY2(!all.contains(secret), qPrintable(secret));
    for (const Log4Qt::LoggingEvent &event : m_log.events())
        QCOMPARE(event.level, Log4Qt::Level::Debug);
}

QTEST_GUILESS_MAIN(TestRestClient)

#include "tst_restclient.moc"
