#include "LogCapture.h"
#include "ScriptedRestClient.h"

#include "api/Constants.h"
#include "api/Interface.h"
#include "host/Config.h"
#include "host/HostPaths.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <httplib.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

using namespace zorvikcpqr;

namespace {

const QString ApiKey = QStringLiteral("secret-api-key-7f3a");
const QString UserToken = QStringLiteral("secret-user-token-91c2");

// A local HTTP service on a free port of 127.0.0.1, on its own thread, answering every request
// with the scripted reply: "<status> <body>", "slow" (no answer for ten seconds) or "huge" (a
// body one byte over the client's limit).
class LocalServer
{
public:
    LocalServer()
    {
        const auto respond = [this](const httplib::Request &request, httplib::Response &response) {
            answer(request, response);
        };
        m_server.Get(".*", respond);
        m_server.Post(".*", respond);
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

    int port() const { return m_port; }

    void script(const QByteArray &reply)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reply = QString::fromUtf8(reply);
        m_received.clear();
    }

    // "METHOD target body" of each request received since the last script.
    QStringList received() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }

private:
    void answer(const httplib::Request &request, httplib::Response &response)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_received.append(
            QString::fromStdString(request.method + ' ' + request.target + ' ' + request.body));
        if (m_reply == QLatin1String("slow")) {
            m_released.wait_for(lock, std::chrono::seconds(10), [this] { return m_stopping; });
            return;
        }
        if (m_reply == QLatin1String("huge")) {
            response.set_content(std::string(RestClient::MaxResponseSize + 1, 'x'), "text/plain");
            return;
        }
        response.status = m_reply.section(QLatin1Char(' '), 0, 0).toInt();
        if (response.status == 302)
            response.set_header("Location", "/elsewhere");
        response.set_content(m_reply.section(QLatin1Char(' '), 1).toStdString(),
                             "application/json");
    }

    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_stopping = false;
    QString m_reply;
    QStringList m_received;
};

// The API client set up as a row needs it, counting the classifications it is asked for.
class ExchangeClient : public Interface
{
public:
    ExchangeClient(const QString &base, qint64 seconds, const QString &userToken)
    {
        url = QUrl(base);
        timeout = seconds;
        headers = {{QStringLiteral("api-key"), ApiKey}, {QStringLiteral("user-token"), userToken}};
    }

    RequestResult getRequestResult(const QSharedPointer<RestClient> &client) const override
    {
        ++classified;
        return Interface::getRequestResult(client);
    }

    mutable int classified = 0;
};

// The lines of the transfer itself, without the parts that vary from run to run (the port, the
// duration, the transfer library's wording).
QStringList comparable(const QStringList &lines)
{
    static const QRegularExpression transfer(QStringLiteral(
        "^DEBUG HTTP (\\w+) http://127\\.0\\.0\\.1:\\d+(\\S*): (статус \\d+|ошибка \\d+).*$"));
    QStringList result;
    for (const QString &line : lines)
        result.append(QString(line).replace(transfer, QStringLiteral("DEBUG HTTP \\1 \\2: \\3")));
    return result;
}

// What the plug-in gets of an exchange: the operator text's id and the flags, and whether the
// request reached the service.
QString outcomeOf(const RequestResult &result, bool received)
{
    QStringList parts;
    if (!result.errorText.id().isEmpty())
        parts.append(result.errorText.id());
    if (result.transportError)
        parts.append(QStringLiteral("transport"));
    if (result.timedOut)
        parts.append(QStringLiteral("timed out"));
    if (result.errorCode() != 0)
        parts.append(QStringLiteral("code %1").arg(result.errorCode()));
    if (!received)
        parts.append(QStringLiteral("not sent"));
    return parts.join(QStringLiteral(", "));
}

} // namespace

class ExchangeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void initReadsTheSettings_data();
    void initReadsTheSettings();
    void exchangeClassification_data();
    void exchangeClassification();
    void formUrlResolvesAgainstTheBaseDirectory_data();
    void formUrlResolvesAgainstTheBaseDirectory();
    void operationResultEncodesTheIdentifier_data();
    void operationResultEncodesTheIdentifier();
    void transactionIdsAreFreshUuids();

private:
    QString configFile() const { return m_dir.filePath(QStringLiteral("zorvikcpqr.ini")); }

    QTemporaryDir m_dir;
    std::optional<LocalServer> m_server;
    std::optional<ScriptedRestClient> m_client;
};

void ExchangeTest::initTestCase()
{
    // The exchanges go straight to the local service.
    for (const char *variable :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(variable);
    QVERIFY(m_dir.isValid());
    m_server.emplace();
    HostPaths::setOverride(Constants::ConfigPath, configFile());
}

void ExchangeTest::init()
{
    MockFactory<RestClient>::setSubstitute(&m_client.emplace());
}

void ExchangeTest::cleanup()
{
    MockFactory<RestClient>::clearSubstitute();
}

void ExchangeTest::initReadsTheSettings_data()
{
    QTest::addColumn<QByteArray>("settings"); // empty: no configuration file
    QTest::addColumn<QString>("url");
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QStringList>("log");

    const QString defaultMask
        = QStringLiteral("%(document.shopCode[04d]) %(document.cashCode[02d])");
    const auto logOf = [](const QString &url, int seconds, const QString &error = QString()) {
        QStringList lines{
            QStringLiteral("DEBUG  адрес сервера: ") + url,
            QStringLiteral("DEBUG  таймаут обращения к серверу (сек): %1").arg(seconds)};
        if (!error.isEmpty())
            lines.insert(1, error);
        return lines;
    };
    const QString timeoutError = QStringLiteral(
        "ERROR Некорректное значение параметра ZorvikCpqr:timeout, используется 10 сек.");

    QTest::newRow("no file") << QByteArray() << "http://127.0.0.1" << qint64(10) << defaultMask
                             << logOf("http://127.0.0.1", 10);
    QTest::newRow("every key, the password kept out of the log")
        << QByteArray("url=https://user:pw@pay.example:8443/api/\ntimeout=30\napiKey="
                      + ApiKey.toUtf8() + "\nuserToken=" + UserToken.toUtf8()
                      + "\ncommentMask=%(document.shopCode[d])")
        << "https://user:pw@pay.example:8443/api/" << qint64(30) << "%(document.shopCode[d])"
        << logOf("https://user@pay.example:8443/api/", 30);
    // The transport takes 0 for no limit at all: a payment could wait for ever.
    QTest::newRow("timeout 0") << QByteArray("timeout=0") << "http://127.0.0.1" << qint64(10)
                               << defaultMask << logOf("http://127.0.0.1", 10, timeoutError);
    QTest::newRow("timeout negative")
        << QByteArray("timeout=-5") << "http://127.0.0.1" << qint64(10) << defaultMask
        << logOf("http://127.0.0.1", 10, timeoutError);
}

void ExchangeTest::initReadsTheSettings()
{
    QFETCH(QByteArray, settings);
    QFETCH(qint64, seconds);
    QFile::remove(configFile());
    if (!settings.isEmpty()) {
        QFile file(configFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[zorvikcpqr]\n" + settings + "\n");
    }
    singletonInstance<Config>()->loadFile(Constants::ConfigPath, QString());
    LogCapture log;
    Interface client;

    client.init();
    const QStringList lines = log.lines();
    client.sendPostRequest(QStringLiteral("/cpqr/x"), {});

    QTEST(client.serverUrl().toString(), "url");
    QCOMPARE(client.timeoutSeconds(), seconds);
    QCOMPARE(m_client->timeoutMilliseconds, seconds * 1000);
    const bool configured = settings.contains("apiKey");
    const QHash<QString, QString> headers{
        {QStringLiteral("api-key"), configured ? ApiKey : QString()},
        {QStringLiteral("user-token"), configured ? UserToken : QString()},
        {QStringLiteral("Content-Type"), QStringLiteral("application/json")}};
    QCOMPARE(m_client->requests.value(0).headers, headers);
    QTEST(client.commentTemplate(), "mask");
    QTEST(lines, "log");
}

void ExchangeTest::exchangeClassification_data()
{
    QTest::addColumn<QString>("base"); // empty: the local service
    QTest::addColumn<QString>("userToken");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QStringList>("log");

    const auto transfer = [](const char *outcome) -> QString {
        return QStringLiteral("DEBUG HTTP POST /api/cpqr/x: ") + QString::fromUtf8(outcome);
    };
    const QString message = QStringLiteral("ERROR  сообщение об ошибке: 'Нет средств'");
    const QString code = QStringLiteral("ERROR  код ошибки: '7'");
    const QString incorrect = QStringLiteral("ERROR Некорректный ответ от сервера (нет данных)");
    const QString badUrl = QStringLiteral(
        "ERROR Некорректное значение параметра ZorvikCpqr:url: '%1', запрос не отправлен");
    const QString http = QStringLiteral("restClientHttpError, transport");
    const QString noAnswer = QStringLiteral("requestIncorrectAnswer");

    QTest::newRow("refused") << "http://127.0.0.1:1/api/" << UserToken << QByteArray()
                             << "restClientConnectionFailed, transport, not sent"
                             << QStringList{transfer("ошибка 1")};
    QTest::newRow("time-out") << QString() << UserToken << QByteArray("slow")
                              << "restClientTimeout, transport, timed out"
                              << QStringList{transfer("ошибка 2")};
    QTest::newRow("oversized") << QString() << UserToken << QByteArray("huge")
                               << "restClientResponseTooLarge, transport, timed out"
                               << QStringList{transfer("ошибка 4")};
    QTest::newRow("HTTP 500 with the service's envelope")
        << QString() << UserToken << QByteArray(R"(500 {"codeError":7,"error":"Нет средств"})")
        << "timed out, code 7"
        << QStringList{transfer("статус 500"), transfer("ошибка 5"), message, code};
    QTest::newRow("HTTP 500, code without message")
        << QString() << UserToken << QByteArray(R"(500 {"codeError":7,"error":""})")
        << http + ", timed out, code 7"
        << QStringList{transfer("статус 500"), transfer("ошибка 5"), code};
    QTest::newRow("HTTP 500, message without code")
        << QString() << UserToken << QByteArray(R"(500 {"error":"Нет средств"})")
        << http + ", timed out"
        << QStringList{transfer("статус 500"), transfer("ошибка 5"), message};
    QTest::newRow("HTTP 404, refused") << QString() << UserToken << QByteArray("404 ") << http
                                       << QStringList{transfer("статус 404"), transfer("ошибка 5")};
    QTest::newRow("HTTP 302, not followed")
        << QString() << UserToken << QByteArray("302 ") << http
        << QStringList{transfer("статус 302"), transfer("ошибка 5")};
    QTest::newRow("line break in a header")
        << QString() << "x\r\nX-Injected: 1" << QByteArray()
        << "restClientError, transport, not sent" << QStringList{transfer("ошибка 7")};
    QTest::newRow("plain text") << QString() << UserToken << QByteArray("200 plain words")
                                << noAnswer << QStringList{transfer("статус 200"), incorrect};
    QTest::newRow("JSON array") << QString() << UserToken << QByteArray(R"(200 [{"codeError":7}])")
                                << noAnswer << QStringList{transfer("статус 200"), incorrect};
    QTest::newRow("empty object") << QString() << UserToken << QByteArray("200 {}") << noAnswer
                                  << QStringList{transfer("статус 200"), incorrect};
    QTest::newRow("code alone") << QString() << UserToken << QByteArray(R"(200 {"codeError":7})")
                                << "code 7" << QStringList{transfer("статус 200"), code};
    QTest::newRow("message alone is no failure")
        << QString() << UserToken << QByteArray(R"(200 {"codeError":0,"error":"Нет средств"})")
        << QString() << QStringList{transfer("статус 200"), message};
    QTest::newRow("plain answer") << QString() << UserToken << QByteArray(R"(200 {"status":1})")
                                  << QString() << QStringList{transfer("статус 200")};
    // The transport would guess a host and send it the secrets.
    QTest::newRow("address without scheme")
        << "cpqr.example" << UserToken << QByteArray()
        << "zorvikCpqrBadServerUrl, transport, not sent" << QStringList{badUrl.arg("cpqr.example")};
    QTest::newRow("address of another protocol")
        << "ftp://user:pw@cpqr.example/" << UserToken << QByteArray()
        << "zorvikCpqrBadServerUrl, transport, not sent"
        << QStringList{badUrl.arg("ftp://user@cpqr.example/")};
}

void ExchangeTest::exchangeClassification()
{
    QFETCH(QString, base);
    QFETCH(QString, userToken);
    QFETCH(QByteArray, reply);
    MockFactory<RestClient>::clearSubstitute();
    m_server->script(reply);
    if (base.isEmpty())
        base = QStringLiteral("http://127.0.0.1:%1/api/").arg(m_server->port());
    const ExchangeClient client(base, reply == "slow" ? 1 : 10, userToken);
    LogCapture log;

    const RequestResult result = client.sendPostRequest(
        QStringLiteral("/cpqr/x"), {{QStringLiteral("cpqr_payload"), QStringLiteral("ZVQR1")}});

    const QStringList received = m_server->received();
    QTEST(outcomeOf(result, !received.isEmpty()), "outcome");
    if (!received.isEmpty())
        QCOMPARE(received, QStringList{R"(POST /api/cpqr/x {"cpqr_payload":"ZVQR1"})"});
    if (result.errorText.id() == QLatin1String("restClientHttpError"))
        QCOMPARE(result.errorText.defaultText(), "Ошибка сервера (HTTP " + reply.left(3) + ')');
    QCOMPARE(client.classified, int(!result.errorText.id().startsWith("zorvikCpqr")));
    QTEST(comparable(log.lines()), "log");
    const QString all = log.lines().join(QLatin1Char('\n'));
    for (const QString &secret : {ApiKey, UserToken, QStringLiteral("ZVQR1"), QStringLiteral("pw")})
        QVERIFY2(!all.contains(secret), qPrintable(secret));
}

void ExchangeTest::formUrlResolvesAgainstTheBaseDirectory_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("resolved");

    QTest::newRow("directory") << "http://pay.example:8080/api/"
                               << "/cpqr/operation/create"
                               << "http://pay.example:8080/api/cpqr/operation/create";
    QTest::newRow("directory, no leading slash")
        << "http://pay.example:8080/api/"
        << "cpqr/operation/create"
        << "http://pay.example:8080/api/cpqr/operation/create";
    QTest::newRow("last segment replaced") << "http://pay.example/api"
                                           << "/cpqr/operation/create"
                                           << "http://pay.example/cpqr/operation/create";
    QTest::newRow("two slashes keep one") << "http://pay.example/api/?stale=1#top"
                                          << "//cpqr/start_session"
                                          << "http://pay.example/cpqr/start_session";
}

void ExchangeTest::formUrlResolvesAgainstTheBaseDirectory()
{
    QFETCH(QString, base);
    QFETCH(QString, path);
    QFETCH(QString, resolved);

    QCOMPARE(ExchangeClient(base, 10, UserToken).formUrl(path), QUrl(resolved));
}

void ExchangeTest::operationResultEncodesTheIdentifier_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QByteArray>("query");

    QTest::newRow("blank and plus") << "a b+c" << QByteArray("client_transaction=a%20b%2Bc");
    QTest::newRow("query delimiters")
        << "a&b=c#d" << QByteArray("client_transaction=a%26b%3Dc%23d");
    QTest::newRow("percent sequence kept") << "x%41" << QByteArray("client_transaction=x%2541");
    QTest::newRow("cyrillic") << QStringLiteral("чек")
                              << QByteArray("client_transaction=%D1%87%D0%B5%D0%BA");
    QTest::newRow("empty") << QString() << QByteArray("client_transaction=");
}

void ExchangeTest::operationResultEncodesTheIdentifier()
{
    QFETCH(QString, id);
    m_client->responseBody = R"({"status":0})";

    ExchangeClient(QStringLiteral("http://127.0.0.1/api/?stale=1"), 10, UserToken)
        .operationResult(id);

    QCOMPARE(m_client->requests.size(), 1);
    const ScriptedRestClient::Request &request = m_client->requests.first();
    QCOMPARE(request.method, QByteArray("GET"));
    QVERIFY(request.document.isNull());
    QCOMPARE(request.url.toString(QUrl::RemoveQuery), "http://127.0.0.1/api/cpqr/operation/result");
    QTEST(request.url.query(QUrl::FullyEncoded).toLatin1(), "query");
}

void ExchangeTest::transactionIdsAreFreshUuids()
{
    const Interface client;
    const QRegularExpression uuid(
        QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}\\z"));
    const QString first = client.createTransactionId();
    const QString second = client.createTransactionId();
    QVERIFY2(uuid.match(first).hasMatch(), qPrintable(first));
    QVERIFY2(uuid.match(second).hasMatch(), qPrintable(second));
    QVERIFY(first != second);
}

QTEST_GUILESS_MAIN(ExchangeTest)
#include "tst_apiexchange.moc"
