#include "api/Constants.h"
#include "api/Interface.h"
#include "host/AbstractDocument.h"
#include "host/Config.h"
#include "host/HostPaths.h"
#include "host/RestClient.h"
#include "host/Session.h"
#include "host/User.h"
#include "host/log4qt/LogManager.h"
#include "host/log4qt/MemoryAppender.h"
#include "host/payment/PaymentProcessingRequest.h"
#include "sim/HttpServer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <optional>
#include <thread>

using namespace zorvikcpqr;

namespace {

// An API client that records its virtual steps, the requests among them ("POST /path {compact
// body}", "GET /path?query") instead of sending them; every request fails as a time-out does.
// Comment and cart are scripted where a test sets them.
class RecordingInterface : public Interface
{
public:
    RequestResult sendPostRequest(const QString &path, const QJsonObject &body) const override
    {
        const QByteArray json = QJsonDocument(body).toJson(QJsonDocument::Compact);
        return record(QStringLiteral("POST ") + path + QLatin1Char(' ') + QString::fromUtf8(json));
    }
    RequestResult sendGetRequest(const QString &path, const QUrlQuery &query) const override
    {
        return record(QStringLiteral("GET ") + path + QLatin1Char('?')
                      + query.query(QUrl::FullyEncoded));
    }
    QString getComment() const override
    {
        steps.append(QStringLiteral("getComment"));
        return comment ? *comment : Interface::getComment();
    }
    QJsonObject getCart(double amount) const override
    {
        steps.append(QStringLiteral("getCart %1").arg(amount));
        return cart ? *cart : Interface::getCart(amount);
    }

    std::optional<QString> comment;
    std::optional<QJsonObject> cart;
    mutable QStringList steps;

private:
    // The operations hand over whatever the exchange gave, a failure included.
    RequestResult record(const QString &request) const
    {
        steps.append(request);
        RequestResult timedOut;
        timedOut.transportError = timedOut.timedOut = true;
        return timedOut;
    }
};

const QString ApiKey = QStringLiteral("secret-api-key-7f3a");
const QString UserToken = QStringLiteral("secret-user-token-91c2");
const QString UrlPassword = QStringLiteral("secret-password-c0de");
// A configuration with every key of the client set.
const QByteArray EveryKey("url=https://user:pw@pay.example:8443/api/\ntimeout=30\napiKey=key\n"
                          "userToken=token\ncommentMask=%(document.shopCode[d])");

// A local HTTP service on a free port of 127.0.0.1, answering every request with the scripted
// reply, "<status> <body>", or the same half a second late ("late <status> <body>"). It keeps
// "METHOD path user-token:'value' body" of each request received since the last script.
class LocalService
{
public:
    LocalService() { m_server.listen(QStringLiteral("127.0.0.1"), 0); }

    quint16 port() const { return m_server.port(); }
    void script(const QByteArray &reply)
    {
        const QMutexLocker locker(&m_mutex);
        m_reply = QString::fromUtf8(reply);
        m_received.clear();
    }
    QStringList received() const
    {
        const QMutexLocker locker(&m_mutex);
        return m_received;
    }

private:
    zorviksim::HttpAnswer answer(const zorviksim::ReceivedRequest &request)
    {
        QMutexLocker locker(&m_mutex);
        const bool token = request.hasHeader(QStringLiteral("user-token"));
        m_received.append(request.method + QLatin1Char(' ') + request.path + " user-token:'"
                          + (token ? request.header("user-token") : "absent") + "' "
                          + QString::fromUtf8(request.body));
        const bool late = m_reply.startsWith(QLatin1String("late "));
        const QString reply = late ? m_reply.mid(5) : m_reply;
        locker.unlock();
        if (late)
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        zorviksim::HttpAnswer answer;
        answer.status = reply.section(QLatin1Char(' '), 0, 0).toInt();
        answer.body = reply.section(QLatin1Char(' '), 1).toUtf8();
        return answer;
    }

    mutable QMutex m_mutex;
    QString m_reply;
    QStringList m_received;
    zorviksim::HttpServer m_server{[this](const zorviksim::ReceivedRequest &request) {
        return answer(request);
    }};
};

// The API client set up as a row needs it, counting the classifications it is asked for.
class ExchangeClient : public Interface
{
public:
    ExchangeClient(const QString &base, const QString &userToken)
    {
        url = QUrl(base);
        timeout = 10; // seconds, well beyond a late answer
        headers = {{QStringLiteral("api-key"), ApiKey}, {QStringLiteral("user-token"), userToken}};
    }

    RequestResult getRequestResult(const QSharedPointer<RestClient> &client) const override
    {
        ++classified;
        return Interface::getRequestResult(client);
    }

    mutable int classified = 0;
};

// What the plug-in gets of an exchange: the operator text's id and the flags, and whether the
// request reached the service.
QString outcomeOf(const RequestResult &result, bool received)
{
    const int code = result.errorCode();
    QStringList parts{result.errorText.id(),
                      result.transportError ? QStringLiteral("transport") : QString(),
                      result.timedOut ? QStringLiteral("timed out") : QString(),
                      code != 0 ? QStringLiteral("code %1").arg(code) : QString(),
                      received ? QString() : QStringLiteral("not sent")};
    parts.removeAll(QString());
    return parts.join(QStringLiteral(", "));
}

QJsonObject jsonObject(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

QString compact(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// The cart of a payment for part of a receipt, with the item's price members.
QByteArray partialPaymentCart(const QByteArray &prices)
{
    return R"({"items":[{"productId":"","quantity":{"count":1},"title":"Частичная оплата заказа",)"
           + prices + "}]}";
}

// Opens a receipt whose positions are given as JSON rows [barcode, posnum, name, quantity, sum];
// a number among them is the receipt's own total (a discount on the whole receipt).
void openReceipt(const QByteArray &positions)
{
    const auto receipt = QSharedPointer<AbstractDocument>::create(12, 3);
    const QJsonArray rows = QJsonDocument::fromJson(positions).array();
    for (const QJsonValue &value : rows) {
        const QJsonArray row = value.toArray();
        if (value.isDouble())
            receipt->setSum(value.toDouble());
        else
            receipt->addGoodsItem(QSharedPointer<GoodsItem>::create(row.at(0).toString(),
                                                                    row.at(1).toInt(),
                                                                    row.at(2).toString(),
                                                                    row.at(3).toDouble(),
                                                                    row.at(4).toDouble()));
    }
    singletonInstance<Session>()->setDocument(receipt);
}

PaymentProcessingRequest requestFor(qint64 amount, const QString &operationId = QString())
{
    PaymentProcessingRequest request;
    request.amount = amount;
    request.operationId = operationId;
    request.paymentCode = QStringLiteral("ZVQR-SCANNED-AGAIN");
    return request;
}

StartSessionResult startedSession()
{
    RequestResult answer;
    answer.json = jsonObject(R"({"quickpay_id":"qp-1","merchant_payload":"m"})");
    StartSessionResult started(answer);
    started.cpqrPayload = QStringLiteral("ZVQR-0001");
    return started;
}

OperationResult paidOrder(const QByteArray &cartJson)
{
    RequestResult answer;
    answer.json = jsonObject(R"({"status":1,"result":true,"cart":)" + cartJson + "}");
    return OperationResult(answer);
}

// The return request of 50.50 for the order "ct-1" under the refund id "r-1".
QString returnRequest(const QByteArray &refundCart)
{
    QJsonObject body{{QStringLiteral("client_transaction"), QStringLiteral("ct-1")},
                     {QStringLiteral("cost"), 50.5},
                     {QStringLiteral("refundId"), QStringLiteral("r-1")}};
    if (!refundCart.isEmpty())
        body.insert(QStringLiteral("refundCart"), jsonObject(refundCart));
    return QStringLiteral("POST /cpqr/operation/return ") + compact(body);
}

// An order's steps: cart and comment through the virtual table, then the request.
QStringList orderSteps(const QString &cost, const QByteArray &body)
{
    return {QStringLiteral("getCart ") + cost,
            QStringLiteral("getComment"),
            QStringLiteral("POST /cpqr/operation/create ") + compact(jsonObject(body))};
}

} // namespace

class ApiClientTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void initReadsTheSettings_data();
    void initReadsTheSettings();
    void exchangeClassification_data();
    void exchangeClassification();
    void requestUrls();
    void operationsSendTheirRequest_data();
    void operationsSendTheirRequest();
    void operationReturnChoosesTheRefundCart_data();
    void operationReturnChoosesTheRefundCart();
    void saleCart_data();
    void saleCart();

private:
    QString configFile() const { return m_dir.filePath(QStringLiteral("zorvikcpqr.ini")); }
    // Runs the operation of a row on the recording client; gives the identifier its record
    // carries.
    QString run(const QString &operation,
                qint64 amount,
                const QByteArray &paidCart,
                bool openReceiptIsReturnReceipt = true);

    QTemporaryDir m_dir;
    std::optional<LocalService> m_server;
    std::optional<RecordingInterface> m_recording;
    Log4Qt::MemoryAppender m_log; // every line logged in the test function, debug included
};

void ApiClientTest::initTestCase()
{
    QVERIFY(m_server.emplace().port() != 0);
    Log4Qt::LogManager::setThreshold(Log4Qt::Level::Debug);
    Log4Qt::LogManager::addAppender(&m_log);
    HostPaths::setOverride(Constants::ConfigPath, configFile());
}

void ApiClientTest::init()
{
    m_recording.emplace();
    m_recording->init();
    m_log.clear();

    Session *session = singletonInstance<Session>();
    session->setPosId(QStringLiteral("17"));
    session->setCurrentUser(QSharedPointer<User>::create(QVariant(42)));
    openReceipt(R"([["46",1,"Хлеб",2,100],["47",2,"Молоко",1,50.5]])");
}

void ApiClientTest::initReadsTheSettings_data()
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

    QTest::newRow("every key, the password kept out of the log")
        << EveryKey << qint64(30) << "%(document.shopCode[d])"
        << logOf("https://user@pay.example:8443/api/", 30);
    QTest::newRow("no file") << QByteArray() << qint64(10) << defaultMask
                             << logOf("http://127.0.0.1", 10);
    // The transport takes 0 for no limit at all: a payment could wait for ever.
    QTest::newRow("timeout 0") << QByteArray("timeout=0") << qint64(10) << defaultMask
                               << logOf("http://127.0.0.1", 10, timeoutError);
    QTest::newRow("timeout negative") << QByteArray("timeout=-5") << qint64(10) << defaultMask
                                      << logOf("http://127.0.0.1", 10, timeoutError);
}

void ApiClientTest::initReadsTheSettings()
{
    QFETCH(QByteArray, settings);
    QFETCH(qint64, seconds);
    // Each row's file is read after one with every key: a key it leaves out takes its default.
    for (const QByteArray &content : {EveryKey, settings}) {
        QFile::remove(configFile());
        if (!content.isEmpty()) {
            QFile file(configFile());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[zorvikcpqr]\n" + content + "\n");
        }
        singletonInstance<Config>()->loadFile(Constants::ConfigPath, QString());
    }
    Interface client;

    m_log.clear();
    client.init();

    QCOMPARE(client.timeoutSeconds(), seconds);
    const bool configured = settings.contains("apiKey");
    const QHash<QString, QString> headers{
        {QStringLiteral("api-key"), configured ? QStringLiteral("key") : QString()},
        {QStringLiteral("user-token"), configured ? QStringLiteral("token") : QString()},
        {QStringLiteral("Content-Type"), QStringLiteral("application/json")}};
    QCOMPARE(client.requestHeaders(), headers);
    QTEST(client.commentTemplate(), "mask");
    QTEST(m_log.lines(), "log");
}

void ApiClientTest::exchangeClassification_data()
{
    QTest::addColumn<QString>("base"); // empty: the local service, with a user and password
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
    const QString badUrl = QStringLiteral(
        "ERROR Некорректное значение параметра ZorvikCpqr:url: '%1', запрос не отправлен");
    const QString http = QStringLiteral("restClientHttpError, transport");
    const QString unusable = QStringLiteral("zorvikCpqrBadServerUrl, transport, not sent");
    const QString ok = QStringLiteral("DEBUG статус 200");
    const QStringList status500{"DEBUG статус 500", "DEBUG ошибка 5"};

    row("late within the time-out", R"(late 200 {"status":1})", QString(), {ok});
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
    row("line break in a header",
        {},
        "restClientError, transport, not sent",
        {"DEBUG ошибка 7"},
        QString(),
        "x\r\nX-Injected: 1");
    row("code alone", R"(200 {"codeError":7})", "code 7", {ok, code});
    row("message alone is no failure",
        R"(200 {"codeError":0,"error":"Нет средств"})",
        QString(),
        {ok, message});
    // A till without a configured token still sends the header, empty.
    row("plain answer, empty token", R"(200 {"status":1})", QString(), {ok}, QString(), QString());
    // Reported before the transport sees it, the password kept out of the log.
    row("address of another protocol",
        {},
        unusable,
        {badUrl.arg("ftp://user@cpqr.example/")},
        "ftp://user:" + UrlPassword + "@cpqr.example/");
}

void ApiClientTest::exchangeClassification()
{
    QFETCH(QString, base);
    QFETCH(QString, userToken);
    QFETCH(QByteArray, reply);
    m_server->script(reply);
    if (base.isEmpty())
        base = QStringLiteral("http://till:%1@127.0.0.1:%2/api/")
                   .arg(UrlPassword)
                   .arg(m_server->port());
    const ExchangeClient client(base, userToken);

    const RequestResult result = client.sendPostRequest(
        QStringLiteral("/cpqr/x"), {{QStringLiteral("cpqr_payload"), QStringLiteral("ZVQR1")}});

    const QStringList received = m_server->received();
    QTEST(outcomeOf(result, !received.isEmpty()), "outcome");
    if (!received.isEmpty())
        QCOMPARE(received,
                 QStringList{
                     QStringLiteral(R"(POST /api/cpqr/x user-token:'%1' {"cpqr_payload":"ZVQR1"})")
                         .arg(userToken)});
    if (result.errorText.id() == QLatin1String("restClientHttpError"))
        QCOMPARE(result.errorText.defaultText(), "Ошибка сервера (HTTP " + reply.left(3) + ')');
    QCOMPARE(client.classified, int(!result.errorText.id().startsWith("zorvikCpqr")));
    const QString all = m_log.lines().join(QLatin1Char('\n'));
    // Without what varies in the transfer's lines: address, duration, the library's wording.
    static const QRegularExpression transfer(
        QStringLiteral("^DEBUG HTTP POST \\S+: (статус \\d+|ошибка \\d+).*$"));
    QTEST(m_log.lines().replaceInStrings(transfer, QStringLiteral("DEBUG \\1")), "log");
    // The configured secrets and the customer's code stay out of the log, whatever the outcome.
    for (const QString &secret : {ApiKey, UserToken, UrlPassword, QStringLiteral("ZVQR1")})
        QVERIFY2(!all.contains(secret), qPrintable(secret));
}

// The endpoint path joins the base directory; the order id travels encoded in full.
void ApiClientTest::requestUrls()
{
    const ExchangeClient client(QStringLiteral("http://pay.example/api/?stale=1#top"), UserToken);
    QCOMPARE(client.formUrl(QStringLiteral("cpqr/x")), QUrl("http://pay.example/api/cpqr/x"));
    QCOMPARE(client.formUrl(QStringLiteral("//cpqr/x")), QUrl("http://pay.example/cpqr/x"));

    m_recording->operationResult(QStringLiteral("a b+c&d=e#f%41"));
    m_recording->operationResult(QString());

    const QString result = QStringLiteral("GET /cpqr/operation/result?client_transaction=");
    QCOMPARE(m_recording->steps, QStringList({result + "a%20b%2Bc%26d%3De%23f%2541", result}));
}

// Orders are named "id-1", returns "r-1".
QString ApiClientTest::run(const QString &operation,
                           qint64 amount,
                           const QByteArray &paidCart,
                           bool openReceiptIsReturnReceipt)
{
    if (operation == QLatin1String("start"))
        return m_recording->startSession(QStringLiteral("ZVQR-0001")).cpqrPayload;
    if (operation == QLatin1String("return"))
        return m_recording
            ->operationReturn(requestFor(amount, QStringLiteral("ct-1")),
                              paidOrder(paidCart),
                              ReturnOptions{QStringLiteral("r-1"), openReceiptIsReturnReceipt})
            .refundTransaction;
    if (operation == QLatin1String("result"))
        m_recording->operationResult(QStringLiteral("ct-1"));
    if (operation == QLatin1String("cancel"))
        m_recording->operationCancel(QStringLiteral("ct-1"));
    if (!operation.startsWith(QLatin1String("order")))
        return QString();
    if (operation == QLatin1String("order by nobody"))
        singletonInstance<Session>()->setCurrentUser({});
    return m_recording->createOrder(requestFor(amount), startedSession(), QStringLiteral("id-1"))
        .clientTransaction;
}

void ApiClientTest::operationsSendTheirRequest_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<qint64>("amount");
    QTest::addColumn<QByteArray>("paidCart");
    QTest::addColumn<QByteArray>("scripted"); // cart and comment; empty: the real ones
    QTest::addColumn<QStringList>("steps");   // the virtual calls, the request last
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("recordId");

    const QStringList orderLog{QStringLiteral("INFO Создание запроса на оплату"),
                               QStringLiteral("INFO Создание заказа 'id-1'")};
    QTest::newRow("start session")
        << "start" << qint64(0) << QByteArray() << QByteArray()
        << QStringList{R"(POST /cpqr/start_session {"cpqr_payload":"ZVQR-0001"})"}
        << QStringList{"INFO Начало сессии быстрой оплаты"} << "ZVQR-0001";
    QTest::newRow("result: the identifier in the query")
        << "result" << qint64(0) << QByteArray() << QByteArray()
        << QStringList{"GET /cpqr/operation/result?client_transaction=ct-1"}
        << QStringList{"INFO Получение результата операции ct-1"} << QString();
    QTest::newRow("cancel")
        << "cancel" << qint64(0) << QByteArray() << QByteArray()
        << QStringList{R"(POST /cpqr/operation/cancel {"client_transaction":"ct-1"})"}
        << QStringList{"INFO Отмена операции ct-1"} << QString();
    QTest::newRow("order of the whole receipt, default comment")
        << "order" << qint64(15050) << QByteArray() << QByteArray()
        << orderSteps(
               "150.5",
               R"({"cpqr_payload":"ZVQR-0001","quickpay_id":"qp-1","client_transaction":"id-1",)"
               R"("cost":150.5,"posId":"17","cashierId":"42","comment":"0012 03","cart":{"items":[)"
               R"({"productId":"46_1","quantity":{"count":2},"title":"Хлеб","cost":100,"unit_price":50},)"
               R"({"productId":"47_2","quantity":{"count":1},"title":"Молоко","cost":50.5,"unit_price":50.5}]}})")
        << orderLog << "id-1";
    QTest::newRow("order of a kopeck without a cashier: an empty cart and comment left out")
        << "order by nobody" << qint64(1) << QByteArray()
        << QByteArray(R"({"cart":{},"comment":""})")
        << orderSteps(
               "0.01",
               R"({"cpqr_payload":"ZVQR-0001","quickpay_id":"qp-1","client_transaction":"id-1",)"
               R"("cost":0.01,"posId":"17","cashierId":""})")
        << orderLog << "id-1";
    QTest::newRow("return of a partial payment")
        << "return" << qint64(5050) << QByteArray(R"({"items":[{"productId":""}]})") << QByteArray()
        << QStringList{returnRequest(partialPaymentCart(R"("itemPrice":50.5,"total":50.5)"))}
        << QStringList{"INFO Возврат по операции ct-1", "INFO  операция возврата: r-1"} << "r-1";
}

void ApiClientTest::operationsSendTheirRequest()
{
    QFETCH(QString, operation);
    QFETCH(qint64, amount);
    QFETCH(QByteArray, paidCart);
    QFETCH(QByteArray, scripted);
    if (!scripted.isEmpty()) {
        m_recording->cart = jsonObject(scripted).value(QStringLiteral("cart")).toObject();
        m_recording->comment = jsonObject(scripted).value(QStringLiteral("comment")).toString();
    }

    QTEST(run(operation, amount, paidCart), "recordId");

    QTEST(m_recording->steps, "steps");
    QTEST(m_log.lines(), "log");
}

void ApiClientTest::operationReturnChoosesTheRefundCart_data()
{
    QTest::addColumn<QByteArray>("paidCart");
    QTest::addColumn<QByteArray>("positions"); // of the return receipt; empty: as sold
    QTest::addColumn<bool>("fromQueue");       // the open receipt is not the return's
    QTest::addColumn<QByteArray>("refundCart");

    const QByteArray partial = partialPaymentCart(R"("itemPrice":50.5,"total":50.5)");
    const QByteArray itemized(
        R"({"items":[{"productId":"46_1","quantity":{"count":2},"itemPrice":50,"total":100},)"
        R"({"productId":"47_2","quantity":{"count":1},"itemPrice":0,"total":50.5}]})");
    const QByteArray paidFirst(R"({"items":[{"productId":"46_1","unit_price":"50"}]})");
    const QByteArray none;

    QTest::newRow("second item without product id")
        << QByteArray(R"({"items":[{"productId":"46_1","unit_price":"50"},{"productId":""}]})")
        << none << false << partial;
    QTest::newRow("product id missing")
        << QByteArray(R"({"items":[{"unit_price":"50"}]})") << none << false << partial;
    QTest::newRow("every item identified, an unknown one at 0")
        << QByteArray(R"({"items":[{"productId":"46_1","unit_price":"50"},{"productId":"9_9"}]})")
        << none << false << itemized;
    QTest::newRow("no items: itemized, not partial")
        << QByteArray(R"({"items":[]})") << none << false
        << QByteArray(itemized).replace(R"("itemPrice":50)", R"("itemPrice":0)");
    QTest::newRow("itemized without return positions")
        << paidFirst << QByteArray("[]") << false << none;
    QTest::newRow("from the queue, partial")
        << QByteArray(R"({"items":[{"productId":""}]})") << none << true << partial;
    QTest::newRow("from the queue, itemized: no positions of a stranger's receipt")
        << paidFirst << none << true << none;
    QTest::newRow("rounded quantity and total, odd prices count as none, a later duplicate wins")
        << QByteArray(
               R"({"items":[{"productId":"1_1","unit_price":"10"},{"productId":"1_1","unit_price":"12.505"},)"
               R"({"productId":"2_2","unit_price":10.5},{"productId":"3_3","unit_price":"10,5"},)"
               R"({"productId":"4_4","unit_price":"inf"}]})")
        << QByteArray(
               R"([["1",1,"А",1.0004,3.333],["2",2,"Б",1,1],["3",3,"В",1,1],["4",4,"Г",1,1]])")
        << false
        << QByteArray(
               R"({"items":[{"productId":"1_1","quantity":{"count":1},"itemPrice":12.505,"total":3.33},)"
               R"({"productId":"2_2","quantity":{"count":1},"itemPrice":0,"total":1},)"
               R"({"productId":"3_3","quantity":{"count":1},"itemPrice":0,"total":1},)"
               R"({"productId":"4_4","quantity":{"count":1},"itemPrice":0,"total":1}]})");
}

void ApiClientTest::operationReturnChoosesTheRefundCart()
{
    QFETCH(QByteArray, paidCart);
    QFETCH(QByteArray, positions);
    QFETCH(bool, fromQueue);
    QFETCH(QByteArray, refundCart);
    if (!positions.isEmpty())
        openReceipt(positions);

    run(QStringLiteral("return"), 5050, paidCart, !fromQueue);

    QCOMPARE(m_recording->steps, QStringList{returnRequest(refundCart)});
}

void ApiClientTest::saleCart_data()
{
    QTest::addColumn<QByteArray>("positions");
    QTest::addColumn<double>("amount");
    QTest::addColumn<QByteArray>("cart");

    QTest::newRow("receipt total within half a kopeck, itemized")
        << QByteArray(R"([100.004,["123",1,"Чай",1,120]])") << 100.0
        << QByteArray(R"({"items":[{"productId":"123_1","quantity":{"count":1},"title":"Чай",)"
                      R"("cost":120,"unit_price":120}]})");
    QTest::newRow("exactly half a kopeck off, partial payment")
        << QByteArray(R"([["123",1,"Чай",1,0.005]])") << 0.0
        << partialPaymentCart(R"("cost":0,"unit_price":0)");
    QTest::newRow("rounded quantity and cost, unit price from unrounded values or the sum")
        << QByteArray(
               R"([["",12,"Сыр",1.5,100],["5",1,"Гвозди",2.0005,10.005],["7",3,"Пакет",0,5.555]])")
        << 115.56
        << QByteArray(
               R"({"items":[{"productId":"_12","quantity":{"count":1.5},"title":"Сыр","cost":100,"unit_price":66.67},)"
               R"({"productId":"5_1","quantity":{"count":2.001},"title":"Гвозди","cost":10.01,"unit_price":5},)"
               R"({"productId":"7_3","quantity":{"count":0},"title":"Пакет","cost":5.56,"unit_price":5.56}]})");
    QTest::newRow("empty receipt, nothing to pay")
        << QByteArray("[]") << 0.0 << QByteArray(R"({"items":[]})");
}

void ApiClientTest::saleCart()
{
    QFETCH(QByteArray, positions);
    QFETCH(double, amount);
    QFETCH(QByteArray, cart);
    openReceipt(positions);

    QCOMPARE(compact(m_recording->getCart(amount)), compact(jsonObject(cart)));
}

QTEST_GUILESS_MAIN(ApiClientTest)
#include "tst_apiclient.moc"
