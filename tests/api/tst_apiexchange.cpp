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

#include <mutex>
#include <optional>
#include <thread>

using namespace zorvikcpqr;

namespace {

const QString ApiKey = QStringLiteral("secret-api-key-7f3a");
const QString UserToken = QStringLiteral("secret-user-token-91c2");

// A local HTTP service on a free port of 127.0.0.1, answering on its own threads every request
// with the scripted reply, "<status> <body>", or "slow": later than the client waits.
class LocalServer
{
public:
    LocalServer()
    {
        const auto respond = [this](const httplib::Request &request, httplib::Response &response) {
            const QString reply = record(request);
            if (reply == QLatin1String("slow"))
                std::this_thread::sleep_for(std::chrono::seconds(2));
            response.status = reply.section(QLatin1Char(' '), 0, 0).toInt();
            if (response.status == 302)
                response.set_header("Location", "/elsewhere");
            response.set_content(reply.section(QLatin1Char(' '), 1).toStdString(), "text/json");
        };
        m_server.Get(".*", respond);
        m_server.Post(".*", respond);
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~LocalServer()
    {
        m_server.stop();
        m_thread.join();
    }

    int port() const { return m_port; }
    void script(const QByteArray &reply)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_reply = QString::fromUtf8(reply);
        m_received.clear();
    }
    // "METHOD target body" of each request received since the last script.
    QStringList received() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }

private:
    QString record(const httplib::Request &request)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_received.append(
            QString::fromStdString(request.method + ' ' + request.target + ' ' + request.body));
        return m_reply;
    }

    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
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

// The log without the parts of the transfer's lines that vary from run to run (the address, the
// duration, the transfer library's wording).
QStringList comparable(const QStringList &lines)
{
    static const QRegularExpression transfer(
        QStringLiteral("^DEBUG HTTP POST \\S+: (статус \\d+|ошибка \\d+).*$"));
    QStringList result;
    for (const QString &line : lines)
        result.append(QString(line).replace(transfer, QStringLiteral("DEBUG \\1")));
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
    void requestUrls();
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

    QTest::newRow("no file") << QByteArray() << qint64(10) << defaultMask
                             << logOf("http://127.0.0.1", 10);
    QTest::newRow("every key, the password kept out of the log")
        << QByteArray("url=https://user:pw@pay.example:8443/api/\ntimeout=30\napiKey="
                      + ApiKey.toUtf8() + "\nuserToken=" + UserToken.toUtf8()
                      + "\ncommentMask=%(document.shopCode[d])")
        << qint64(30) << "%(document.shopCode[d])"
        << logOf("https://user@pay.example:8443/api/", 30);
    // The transport takes 0 for no limit at all: a payment could wait for ever.
    QTest::newRow("timeout 0") << QByteArray("timeout=0") << qint64(10) << defaultMask
                               << logOf("http://127.0.0.1", 10, timeoutError);
    QTest::newRow("timeout negative") << QByteArray("timeout=-5") << qint64(10) << defaultMask
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
    const auto row = [](const char *tag,
                        const QByteArray &reply,
                        const QString &outcome,
                        const QStringList &log,
                        const QString &base = QString(),
                        const QString &userToken = UserToken) {
        QTest::newRow(tag) << base << userToken << reply << outcome << log;
    };

    const QString message = QStringLiteral("ERROR  сообщение об ошибке: 'Нет средств'");
    const QString code = QStringLiteral("ERROR  код ошибки: '7'");
    const QString incorrect = QStringLiteral("ERROR Некорректный ответ от сервера (нет данных)");
    const QString badUrl = QStringLiteral(
        "ERROR Некорректное значение параметра ZorvikCpqr:url: '%1', запрос не отправлен");
    const QString http = QStringLiteral("restClientHttpError, transport");
    const QString unusable = QStringLiteral("zorvikCpqrBadServerUrl, transport, not sent");
    const QString ok = QStringLiteral("DEBUG статус 200");
    const QStringList status500{"DEBUG статус 500", "DEBUG ошибка 5"};

    row("refused",
        {},
        "restClientConnectionFailed, transport, not sent",
        {"DEBUG ошибка 1"},
        "http://127.0.0.1:1/api/");
    row("time-out", "slow", "restClientTimeout, transport, timed out", {"DEBUG ошибка 2"});
    row("oversized",
        "200 " + QByteArray(RestClient::MaxResponseSize + 1, 'x'),
        "restClientResponseTooLarge, transport, timed out",
        {"DEBUG ошибка 4"});
    row("HTTP 500 with the service's envelope",
        R"(500 {"codeError":7,"error":"Нет средств"})",
        "timed out, code 7",
        status500 + QStringList{message, code});
    row("HTTP 500, code without message",
        R"(500 {"codeError":7,"error":""})",
        http + ", timed out, code 7",
        status500 + QStringList{code});
    row("HTTP 500, message without code",
        R"(500 {"error":"Нет средств"})",
        http + ", timed out",
        status500 + QStringList{message});
    row("HTTP 404, refused", "404 ", http, {"DEBUG статус 404", "DEBUG ошибка 5"});
    row("HTTP 302, not followed", "302 ", http, {"DEBUG статус 302", "DEBUG ошибка 5"});
    row("line break in a header",
        {},
        "restClientError, transport, not sent",
        {"DEBUG ошибка 7"},
        QString(),
        "x\r\nX-Injected: 1");
    row("plain text", "200 plain words", "requestIncorrectAnswer", {ok, incorrect});
    row("JSON array", R"(200 [{"codeError":7}])", "requestIncorrectAnswer", {ok, incorrect});
    row("code alone", R"(200 {"codeError":7})", "code 7", {ok, code});
    row("message alone is no failure",
        R"(200 {"codeError":0,"error":"Нет средств"})",
        QString(),
        {ok, message});
    row("plain answer", R"(200 {"status":1})", QString(), {ok});
    // The transport would guess a host and send it the secrets.
    row("address without scheme", {}, unusable, {badUrl.arg("cpqr.example")}, "cpqr.example");
    row("address of another protocol",
        {},
        unusable,
        {badUrl.arg("ftp://user@cpqr.example/")},
        "ftp://user:pw@cpqr.example/");
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

// The endpoint path joins the base directory; the order id travels encoded in full.
void ExchangeTest::requestUrls()
{
    const ExchangeClient client(
        QStringLiteral("http://pay.example/api/?stale=1#top"), 10, UserToken);
    QCOMPARE(client.formUrl(QStringLiteral("cpqr/x")), QUrl("http://pay.example/api/cpqr/x"));
    QCOMPARE(client.formUrl(QStringLiteral("//cpqr/x")), QUrl("http://pay.example/cpqr/x"));

    client.operationResult(QStringLiteral("a b+c&d=e#f%41"));
    client.operationResult(QString());

    const QByteArray result("http://pay.example/api/cpqr/operation/result?client_transaction=");
    QCOMPARE(m_client->requests.value(0).url.toEncoded(), result + "a%20b%2Bc%26d%3De%23f%2541");
    QCOMPARE(m_client->requests.value(1).url.toEncoded(), result);
    QCOMPARE(m_client->requests.value(1).method, QByteArray("GET"));
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
