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

#include <optional>

using namespace zorvikcpqr;

namespace {

// The API client with its configuration set as a test needs it.
class ConfiguredInterface : public Interface
{
public:
    explicit ConfiguredInterface(const QString &baseUrl = QStringLiteral("http://127.0.0.1:8080/"),
                                 qint64 seconds = 10)
    {
        url = QUrl(baseUrl);
        timeout = seconds;
        headers = {{QStringLiteral("api-key"), QStringLiteral("key")}};
    }
};

} // namespace

class ExchangeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void initWithoutFileUsesDefaults();
    void initTwiceKeepsOneHeaderEach();
    void unusableSettingsNeverLetAnExchangeGoAstray_data();
    void unusableSettingsNeverLetAnExchangeGoAstray();
    void formUrlResolvesAgainstTheBaseDirectory_data();
    void formUrlResolvesAgainstTheBaseDirectory();
    void requestCarriesBodyOrQueryHeadersAndTimeout_data();
    void requestCarriesBodyOrQueryHeadersAndTimeout();
    void operationResultEncodesTheIdentifier_data();
    void operationResultEncodesTheIdentifier();
    void answerClassification_data();
    void answerClassification();
    void transactionIdsAreFreshUuids();

private:
    void writeConfig(const QByteArray &content);

    QTemporaryDir m_dir;
    std::optional<ScriptedRestClient> m_client;
};

void ExchangeTest::init()
{
    QVERIFY(m_dir.isValid());
    HostPaths::setOverride(Constants::ConfigPath, m_dir.filePath(QStringLiteral("zorvikcpqr.ini")));
    delete Singleton<Config>::instance;
    Singleton<Config>::instance = nullptr;
    MockFactory<RestClient>::setSubstitute(&m_client.emplace());
}

void ExchangeTest::cleanup()
{
    MockFactory<RestClient>::clearSubstitute();
    QFile::remove(m_dir.filePath(QStringLiteral("zorvikcpqr.ini")));
    HostPaths::clearOverrides();
}

void ExchangeTest::writeConfig(const QByteArray &content)
{
    QFile file(m_dir.filePath(QStringLiteral("zorvikcpqr.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    singletonInstance<Config>()->loadFile(Constants::ConfigPath, QString());
}

void ExchangeTest::initWithoutFileUsesDefaults()
{
    LogCapture log;
    Interface client;
    QCOMPARE(client.serverUrl(), QUrl());
    QCOMPARE(client.timeoutSeconds(), qint64(10));
    QVERIFY(client.requestHeaders().isEmpty());

    client.init();

    QCOMPARE(client.serverUrl(), QUrl(QStringLiteral("http://127.0.0.1")));
    QCOMPARE(client.timeoutSeconds(), qint64(10));
    const QHash<QString, QString> headers{
        {QStringLiteral("api-key"), QString()},
        {QStringLiteral("user-token"), QString()},
        {QStringLiteral("Content-Type"), QStringLiteral("application/json")}};
    QCOMPARE(client.requestHeaders(), headers);
    QCOMPARE(client.commentTemplate(),
             QStringLiteral("%(document.shopCode[04d]) %(document.cashCode[02d])"));
    QCOMPARE(log.lines(),
             QStringList({QStringLiteral("DEBUG  адрес сервера: http://127.0.0.1"),
                          QStringLiteral("DEBUG  таймаут обращения к серверу (сек): 10")}));
}

void ExchangeTest::initTwiceKeepsOneHeaderEach()
{
    Interface client;
    writeConfig("[zorvikcpqr]\nurl=https://pay.example:8443/api/\ntimeout=30\napiKey=first\n"
                "userToken=token\ncommentMask=%(document.shopCode[d])\n");
    client.init();
    QCOMPARE(client.serverUrl(), QUrl(QStringLiteral("https://pay.example:8443/api/")));
    QCOMPARE(client.timeoutSeconds(), qint64(30));
    QCOMPARE(client.requestHeaders().value(QStringLiteral("user-token")), QStringLiteral("token"));
    QCOMPARE(client.commentTemplate(), QStringLiteral("%(document.shopCode[d])"));

    writeConfig("[zorvikcpqr]\napiKey=second\n");
    client.init();

    QCOMPARE(client.requestHeaders().size(), 3);
    QCOMPARE(client.requestHeaders().value(QStringLiteral("api-key")), QStringLiteral("second"));
    QCOMPARE(client.requestHeaders().value(QStringLiteral("user-token")), QString());
    QCOMPARE(client.serverUrl(), QUrl(QStringLiteral("http://127.0.0.1")));
}

void ExchangeTest::unusableSettingsNeverLetAnExchangeGoAstray_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<QString>("errorLine");

    const QString timeoutLine = QStringLiteral(
        "ERROR Некорректное значение параметра ZorvikCpqr:timeout, используется 10 сек.");
    // The transport would take 0 for no limit at all.
    QTest::newRow("timeout 0") << QByteArray("timeout=0") << true << timeoutLine;
    QTest::newRow("timeout negative") << QByteArray("timeout=-5") << true << timeoutLine;
    QTest::newRow("timeout not a number") << QByteArray("timeout=ten") << true << timeoutLine;
    // The transport would guess a host and send it the api key.
    QTest::newRow("empty url")
        << QByteArray("url=") << false
        << "ERROR Некорректное значение параметра ZorvikCpqr:url: '', запрос не отправлен";
    QTest::newRow("url without scheme")
        << QByteArray("url=cpqr.example") << false
        << "ERROR Некорректное значение параметра ZorvikCpqr:url: 'cpqr.example', запрос не "
           "отправлен";
    QTest::newRow("url of another protocol")
        << QByteArray("url=ftp://cpqr.example/") << false
        << "ERROR Некорректное значение параметра ZorvikCpqr:url: 'ftp://cpqr.example/', "
           "запрос не отправлен";
}

void ExchangeTest::unusableSettingsNeverLetAnExchangeGoAstray()
{
    QFETCH(QByteArray, settings);
    QFETCH(bool, sent);
    writeConfig("[zorvikcpqr]\napiKey=secret\n" + settings + "\n");
    m_client->responseBody = R"({"quickpay_id":"q"})";
    LogCapture log;
    Interface client;
    client.init();

    const RequestResult result = client.sendPostRequest(QStringLiteral("/cpqr/x"), {});

    QTEST(log.lines().filter(QStringLiteral("ERROR")).value(0), "errorLine");
    QCOMPARE(m_client->requests.size(), sent ? 1 : 0);
    if (sent) {
        QCOMPARE(m_client->timeoutMilliseconds, qint64(10000));
        return;
    }
    QVERIFY(result.transportError && !result.timedOut);
    QCOMPARE(result.getError().id(), QStringLiteral("zorvikCpqrBadServerUrl"));
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
    QTest::newRow("no base path") << "http://127.0.0.1"
                                  << "/cpqr/start_session"
                                  << "http://127.0.0.1/cpqr/start_session";
    QTest::newRow("two slashes keep one") << "http://pay.example/api/"
                                          << "//cpqr/start_session"
                                          << "http://pay.example/cpqr/start_session";
}

void ExchangeTest::formUrlResolvesAgainstTheBaseDirectory()
{
    QFETCH(QString, base);
    QFETCH(QString, path);
    QFETCH(QString, resolved);

    QCOMPARE(ConfiguredInterface(base).formUrl(path), QUrl(resolved));
}

void ExchangeTest::requestCarriesBodyOrQueryHeadersAndTimeout_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<qint64>("milliseconds");

    QTest::newRow("POST, 30 s") << QByteArray("POST") << qint64(30) << qint64(30000);
    QTest::newRow("POST, beyond 32 bits")
        << QByteArray("POST") << qint64(3000000) << qint64(3000000000);
    QTest::newRow("GET, zero") << QByteArray("GET") << qint64(0) << qint64(0);
}

void ExchangeTest::requestCarriesBodyOrQueryHeadersAndTimeout()
{
    QFETCH(QByteArray, method);
    QFETCH(qint64, seconds);
    m_client->responseBody = R"({"quickpay_id":"q"})";
    const QJsonObject body{{QStringLiteral("cpqr_payload"), QStringLiteral("ZVQR1")}};
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("client_transaction"), QStringLiteral("abc"));

    // The base's own query and fragment must not leak into the request.
    const ConfiguredInterface client(QStringLiteral("http://127.0.0.1:8080/api/?stale=1#top"),
                                     seconds);
    const bool post = method == "POST";
    const RequestResult result = post ? client.sendPostRequest(QStringLiteral("/cpqr/x"), body)
                                      : client.sendGetRequest(QStringLiteral("/cpqr/x"), query);

    QTEST(m_client->timeoutMilliseconds, "milliseconds");
    QCOMPARE(m_client->calls.mid(0, 2),
             QStringList({"setTimeout", QString::fromLatin1(method.toLower())}));
    QCOMPARE(m_client->requests.size(), 1);
    const ScriptedRestClient::Request &request = m_client->requests.first();
    QCOMPARE(request.method, method);
    QCOMPARE(request.url.toEncoded(),
             QByteArray("http://127.0.0.1:8080/api/cpqr/x")
                 + (post ? QByteArray() : QByteArray("?client_transaction=abc")));
    QCOMPARE(request.document, post ? QJsonDocument(body) : QJsonDocument());
    QCOMPARE(request.headers, client.requestHeaders());
    QCOMPARE(result.json.value(QStringLiteral("quickpay_id")).toString(), QStringLiteral("q"));
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
}

void ExchangeTest::operationResultEncodesTheIdentifier()
{
    QFETCH(QString, id);
    m_client->responseBody = R"({"status":0})";

    ConfiguredInterface().operationResult(id);

    QCOMPARE(m_client->requests.size(), 1);
    const QUrl sent = m_client->requests.first().url;
    QTEST(sent.query(QUrl::FullyEncoded).toLatin1(), "query");
    QCOMPARE(
        QUrlQuery(sent).queryItemValue(QStringLiteral("client_transaction"), QUrl::FullyDecoded),
        id);
}

void ExchangeTest::answerClassification_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("clientError");
    QTest::addColumn<bool>("clientTimedOut");
    QTest::addColumn<QString>("errorTextId"); // "transport": the client's failure is reported
    QTest::addColumn<int>("errorCode");
    QTest::addColumn<QStringList>("log");

    const QString transportText = QStringLiteral("transport");
    const QString incorrect = QStringLiteral("requestIncorrectAnswer");
    const QString incorrectLine
        = QStringLiteral("ERROR Некорректный ответ от сервера (нет данных)");
    const QString messageLine = QStringLiteral("ERROR  сообщение об ошибке: 'Нет средств'");
    const QString codeLine = QStringLiteral("ERROR  код ошибки: '7'");

    QTest::newRow("envelope wins over a client failure")
        << QByteArray(R"({"codeError":7,"error":"Нет средств"})") << 5 << false << QString() << 7
        << QStringList{messageLine, codeLine};
    QTest::newRow("envelope without client failure")
        << QByteArray(R"({"codeError":7,"error":"Нет средств"})") << 0 << false << QString() << 7
        << QStringList{messageLine, codeLine};
    QTest::newRow("code alone, client failure") << QByteArray(R"({"codeError":7})") << 5 << false
                                                << transportText << 7 << QStringList{codeLine};
    QTest::newRow("code alone") << QByteArray(R"({"codeError":7})") << 0 << false << QString() << 7
                                << QStringList{codeLine};
    QTest::newRow("code with empty message, client failure")
        << QByteArray(R"({"codeError":7,"error":""})") << 5 << false << transportText << 7
        << QStringList{codeLine};
    QTest::newRow("message alone") << QByteArray(R"({"codeError":0,"error":"Нет средств"})") << 0
                                   << false << QString() << 0 << QStringList{messageLine};
    QTest::newRow("message alone, client failure")
        << QByteArray(R"({"error":"Нет средств"})") << 5 << false << transportText << 0
        << QStringList{messageLine};
    QTest::newRow("client failure without answer")
        << QByteArray() << 1 << false << transportText << 0 << QStringList();
    QTest::newRow("client timed out")
        << QByteArray() << 2 << true << transportText << 0 << QStringList();
    QTest::newRow("empty body") << QByteArray() << 0 << false << incorrect << 0
                                << QStringList{incorrectLine};
    QTest::newRow("empty object") << QByteArray("{}") << 0 << false << incorrect << 0
                                  << QStringList{incorrectLine};
    QTest::newRow("array body") << QByteArray(R"([{"codeError":7}])") << 0 << false << incorrect
                                << 0 << QStringList{incorrectLine};
    QTest::newRow("not JSON") << QByteArray("<html>oops</html>") << 0 << false << incorrect << 0
                              << QStringList{incorrectLine};
    QTest::newRow("plain answer") << QByteArray(R"({"status":1,"result":true})") << 0 << false
                                  << QString() << 0 << QStringList();
}

void ExchangeTest::answerClassification()
{
    QFETCH(QByteArray, body);
    QFETCH(int, clientError);
    QFETCH(bool, clientTimedOut);
    QFETCH(QString, errorTextId);
    QFETCH(int, errorCode);
    QFETCH(QStringList, log);
    m_client->responseBody = body;
    m_client->error = clientError;
    m_client->errorText = tr::Tr(QStringLiteral("transport"), QStringLiteral("Нет связи"));
    m_client->timedOut = clientTimedOut;

    LogCapture capture;
    const RequestResult result = ConfiguredInterface().sendPostRequest(QStringLiteral("/x"), {});

    QCOMPARE(result.transportError, errorTextId == QStringLiteral("transport"));
    QCOMPARE(result.timedOut, clientTimedOut);
    QCOMPARE(result.errorText.id(), errorTextId);
    if (errorTextId == QStringLiteral("transport"))
        QCOMPARE(result.errorText, m_client->errorText);
    if (errorTextId == QStringLiteral("requestIncorrectAnswer"))
        QCOMPARE(result.errorText.defaultText(), QStringLiteral("Некорректный ответ от сервера"));
    QCOMPARE(result.errorCode(), errorCode);
    QCOMPARE(result.json, QJsonDocument::fromJson(body).object());
    QCOMPARE(capture.lines(), log);
    // The answer is read before the client's own report, which the envelope makes moot.
    QCOMPARE(m_client->calls.mid(2, 2), QStringList({"responseDocument", "isTimedOut"}));
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
