#include "sim/Simulator.h"

#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using zorviksim::Simulator;
using zorviksim::SimulatorOptions;

// The service's own rules, over real HTTP. How the plug-in and its queue come through the
// scenario faults of each stage, with the service's books checked afterwards, is the subject of
// tests/reliability.

namespace {

// What came back for one request; nothing was delivered when the connection gave no answer.
struct Answer
{
    explicit Answer(const httplib::Result &result)
        : delivered(result)
        , httpStatus(result ? result->status : 0)
        , contentType(result ? result->get_header_value("Content-Type") : std::string())
        , body(result ? QByteArray::fromStdString(result->body) : QByteArray())
    {}

    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    int codeError() const { return json().value(QLatin1String("codeError")).toInt(); }
    // "registered", "paid" or "declined" for an answer of the result endpoint.
    QString orderOutcome() const
    {
        const QJsonObject answer = json();
        if (answer.value(QLatin1String("status")) == 0)
            return QStringLiteral("registered");
        return answer.value(QLatin1String("result")).toBool() ? QStringLiteral("paid")
                                                              : QStringLiteral("declined");
    }

    bool delivered;
    int httpStatus;
    std::string contentType;
    QByteArray body;
};

// The client side of the exchanges, as the plug-in makes them.
class ServiceClient
{
public:
    explicit ServiceClient(const Simulator &simulator, httplib::Headers headers = {})
        : m_baseUrl(simulator.baseUrl().chopped(1).toStdString())
        , m_headers(std::move(headers))
    {}

    void setReadTimeout(std::chrono::milliseconds timeout) { m_readTimeout = timeout; }

    Answer postRaw(const std::string &path,
                   const QByteArray &body,
                   const char *contentType = "application/json") const
    {
        return Answer(client().Post(path, m_headers, body.toStdString(), contentType));
    }
    Answer post(const std::string &path, const QJsonObject &body) const
    {
        return postRaw(path, QJsonDocument(body).toJson(QJsonDocument::Compact));
    }
    Answer get(const std::string &pathAndQuery) const
    {
        return Answer(client().Get(pathAndQuery, m_headers));
    }

    Answer startSession(const QString &code) const
    {
        return post("/cpqr/start_session", {{"cpqr_payload", code}});
    }
    QString openSession(const QString &code) const
    {
        return startSession(code).json().value(QLatin1String("quickpay_id")).toString();
    }
    Answer createOrder(const QString &code,
                       const QString &transaction,
                       double cost,
                       QJsonObject body = {}) const
    {
        body.insert("cpqr_payload", code);
        body.insert("quickpay_id", openSession(code));
        body.insert("client_transaction", transaction);
        body.insert("cost", cost);
        body.insert("posId", "3");
        body.insert("cashierId", "17");
        return post("/cpqr/operation/create", body);
    }
    Answer status(const QString &transaction) const
    {
        return get("/cpqr/operation/result?client_transaction="
                   + QUrl::toPercentEncoding(transaction).toStdString());
    }
    Answer cancel(const QString &transaction) const
    {
        return post("/cpqr/operation/cancel", {{"client_transaction", transaction}});
    }
    Answer returnMoney(const QString &transaction, const QString &refundId, double cost) const
    {
        return post("/cpqr/operation/return",
                    {{"cost", cost}, {"client_transaction", transaction}, {"refundId", refundId}});
    }

private:
    httplib::Client client() const
    {
        httplib::Client client(m_baseUrl);
        client.enable_server_certificate_verification(false);
        client.set_read_timeout(m_readTimeout);
        return client;
    }

    std::string m_baseUrl;
    httplib::Headers m_headers;
    std::chrono::milliseconds m_readTimeout = 5s;
};

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init() { startSimulator(); }
    void cleanup() { m_simulator.reset(); }

    void sessionAnswers_data();
    void sessionAnswers();
    void statusProgress_data();
    void statusProgress();
    void unpaidOrderExpires();
    void orderCreationRefusals_data();
    void orderCreationRefusals();
    void paidCartCarriesUnitPricesAsText();
    void returnsStayWithinThePaidAmountAndRepeatHarmlessly();
    void cancelAndReturnRules_data();
    void cancelAndReturnRules();
    void credentials_data();
    void credentials();
    void statusFaults_data();
    void statusFaults();
    void sandboxControls_data();
    void sandboxControls();
    void slowAnswerIsCarriedOutAndStopCutsItShort();
    void busyPortIsRefused();

private:
    void startSimulator(const SimulatorOptions &options = {});
    QJsonValue order(const QString &transaction, const QString &field) const;

    std::unique_ptr<Simulator> m_simulator;
    QTemporaryDir m_dir;
};

// A certificate of its own for the HTTPS rows.
void TestSimulator::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QProcess openssl;
    openssl.setWorkingDirectory(m_dir.path());
    openssl.start("openssl",
                  {"req",
                   "-x509",
                   "-newkey",
                   "ec",
                   "-pkeyopt",
                   "ec_paramgen_curve:prime256v1",
                   "-nodes",
                   "-days",
                   "2",
                   "-subj",
                   "/CN=127.0.0.1",
                   "-keyout",
                   "server.key",
                   "-out",
                   "server.pem"});
    QVERIFY(openssl.waitForFinished(60000));
    QCOMPARE(openssl.exitCode(), 0);
}

void TestSimulator::startSimulator(const SimulatorOptions &options)
{
    m_simulator = std::make_unique<Simulator>(options);
    QVERIFY(m_simulator->start());
    QCOMPARE(m_simulator->baseUrl(),
             QStringLiteral("%1://127.0.0.1:%2/")
                 .arg(options.tlsCertificateFile.isEmpty() ? "http" : "https")
                 .arg(m_simulator->port()));
}

QJsonValue TestSimulator::order(const QString &transaction, const QString &field) const
{
    const QJsonArray orders = m_simulator->state().value(QLatin1String("orders")).toArray();
    for (const QJsonValue &order : orders) {
        if (order[QLatin1String("client_transaction")] == transaction)
            return order[field];
    }
    return {};
}

void TestSimulator::sessionAnswers_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("codeError");
    QTest::addColumn<bool>("hasMerchantPayload");
    QTest::addColumn<int>("loyaltyIds");

    QTest::newRow("plain code") << "ZVQR0001" << 0 << true << 1;
    QTest::newRow("loyal customer") << "ZVQR0001-LOYALTY" << 0 << true << 3;
    QTest::newRow("no card") << "ZVQR0001-NOCARD" << 0 << false << 0;
    QTest::newRow("refused") << "ZVQR0001-SESSIONERR" << 110 << false << 0;
    QTest::newRow("empty code") << "" << 100 << false << 0;
}

void TestSimulator::sessionAnswers()
{
    QFETCH(QString, code);
    QFETCH(int, codeError);

    const ServiceClient client(*m_simulator);
    const QJsonObject json = client.startSession(code).json();
    QCOMPARE(json.value("codeError").toInt(), codeError);
    QCOMPARE(json.contains("quickpay_id"), codeError == 0);
    if (codeError != 0) {
        QVERIFY(!json.value("error").toString().isEmpty());
        return;
    }
    // The session follows from the code: the same code opens the same one, another a new one.
    QCOMPARE(client.startSession(code).json(), json);
    QVERIFY(client.openSession(code + "-B") != json.value("quickpay_id").toString());
    QCOMPARE(m_simulator->state().value("sessions").toArray().size(), 2);
    QTEST(json.value("merchant_payload").toString().startsWith("7700"), "hasMerchantPayload");
    const QJsonArray ids = json.value("loyalty").toObject().value("loyalty_ids").toArray();
    QTEST(int(ids.size()), "loyaltyIds");
    for (const QJsonValue &id : ids)
        QVERIFY(!id.toString().isEmpty());
}

void TestSimulator::statusProgress_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QStringList>("outcomes");

    QTest::newRow("paid at once") << "ZVQR123" << QStringList{"paid", "paid"};
    QTest::newRow("paid at the third")
        << "ZVQR-PAY3" << QStringList{"registered", "registered", "paid", "paid"};
    QTest::newRow("declined at the second")
        << "ZVQR-DECLINE2" << QStringList{"registered", "declined", "declined"};
    QTest::newRow("never decided")
        << "ZVQR-NEVER" << QStringList{"registered", "registered", "registered"};
}

void TestSimulator::statusProgress()
{
    QFETCH(QString, code);
    QFETCH(QStringList, outcomes);

    const ServiceClient client(*m_simulator);
    const QJsonObject created = client.createOrder(code, "order-1", 150.5).json();
    QCOMPARE(created.value("payment_status"), "started");
    QCOMPARE(created.value("client_transaction"), "order-1");
    for (const QString &expected : std::as_const(outcomes))
        QCOMPARE(client.status("order-1").orderOutcome(), expected);
    QCOMPARE(order("order-1", "state").toString(), outcomes.last());
    QCOMPARE(order("order-1", "statusRequests").toInt(), outcomes.size());
    QCOMPARE(client.status("unknown-order").codeError(), 140);
}

void TestSimulator::unpaidOrderExpires()
{
    SimulatorOptions options;
    options.orderExpiry = 300ms;
    startSimulator(options);
    const ServiceClient client(*m_simulator);
    client.createOrder("ZVQR-NEVER", "order-1", 10);
    client.createOrder("ZVQR", "order-2", 10);
    QCOMPARE(client.status("order-2").orderOutcome(), "paid");

    QTRY_COMPARE_WITH_TIMEOUT(order("order-1", "state").toString(), "expired", 10000);
    QCOMPARE(client.status("order-1").orderOutcome(), "declined");
    QCOMPARE(client.cancel("order-1").codeError(), 0);
    QCOMPARE(order("order-1", "state"), "expired");
    QCOMPARE(order("order-2", "state"), "paid");
}

void TestSimulator::orderCreationRefusals_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<int>("codeError");

    // $QP stands for the quick-pay id of the session opened with the row's code.
    const auto order
        = [](const char *code, const char *transaction, const char *cost) -> QByteArray {
        return QByteArray(R"({"cpqr_payload": ")") + code + R"(", "quickpay_id": "$QP", )"
               + R"("client_transaction": ")" + transaction + R"(", "cost": )" + cost
               + R"(, "posId": "3", "cashierId": "17"})";
    };
    QTest::newRow("accepted") << "ZVQR" << order("ZVQR", "new", "10") << 200 << 0;
    QTest::newRow("reused transaction") << "ZVQR" << order("ZVQR", "taken", "10") << 200 << 130;
    QTest::newRow("unknown session")
        << "ZVQR" << order("ZVQR", "new", "10").replace("$QP", "qp-unknown") << 200 << 120;
    QTest::newRow("code of another session")
        << "ZVQR" << order("ZVQR-B", "new", "10") << 200 << 121;
    QTest::newRow("refused by scenario")
        << "ZVQR-ORDERERR" << order("ZVQR-ORDERERR", "new", "10") << 200 << 131;
    QTest::newRow("zero cost") << "ZVQR" << order("ZVQR", "new", "0") << 200 << 132;
    QTest::newRow("fraction of a kopeck") << "ZVQR" << order("ZVQR", "new", "1.005") << 200 << 132;
    QTest::newRow("cost as text") << "ZVQR" << order("ZVQR", "new", R"("10")") << 400 << 100;
    QTest::newRow("no cashier") << "ZVQR"
                                << order("ZVQR", "new", "10").replace(R"(, "cashierId": "17")", "")
                                << 400 << 100;
    QTest::newRow("cart not an object")
        << "ZVQR" << order("ZVQR", "new", "10").replace("}", R"(, "cart": []})") << 400 << 100;
    QTest::newRow("not JSON") << "ZVQR" << QByteArray("client_transaction=new") << 400 << 100;
}

void TestSimulator::orderCreationRefusals()
{
    QFETCH(QString, code);
    QFETCH(QByteArray, body);

    const ServiceClient client(*m_simulator);
    QCOMPARE(client.createOrder("ZVQR", "taken", 5).codeError(), 0);
    client.openSession("ZVQR-B");
    body.replace("$QP", client.openSession(code).toUtf8());

    const Answer answer = client.postRaw("/cpqr/operation/create", body);
    QTEST(answer.httpStatus, "httpStatus");
    QTEST(answer.codeError(), "codeError");
    const int orders = m_simulator->state().value("orders").toArray().size();
    QCOMPARE(orders, answer.codeError() == 0 ? 2 : 1);
    QCOMPARE(order("taken", "cost"), 5);
}

// Two decimals, worked out from cost and quantity where the till sent no unit price.
void TestSimulator::paidCartCarriesUnitPricesAsText()
{
    const QJsonObject cart{{"items",
                            QJsonDocument::fromJson(R"([
        {"productId": "4600_1", "quantity": {"count": 1.5}, "title": "Сыр", "cost": 100,
         "unit_price": 66.666667},
        {"productId": "", "quantity": {"count": 2}, "title": "Хлеб", "cost": 61}])")
                                .array()}};
    const ServiceClient client(*m_simulator);
    client.createOrder("ZVQR", "order-1", 161, {{"cart", cart}, {"comment", "0042 07"}});

    const QJsonArray items = client.status("order-1").json().value("cart")["items"].toArray();
    QCOMPARE(items.size(), 2);
    QCOMPARE(items[0]["title"], "Сыр");
    QCOMPARE(items[0]["unit_price"], "66.67");
    QCOMPARE(items[1]["unit_price"], "30.50");
    QCOMPARE(order("order-1", "cart"), cart);
    QCOMPARE(order("order-1", "comment"), "0042 07");
    QCOMPARE(client.get("/sim/state").json(), m_simulator->state());
    QCOMPARE(client.get("/cpqr/nothing").codeError(), 404);
}

void TestSimulator::returnsStayWithinThePaidAmountAndRepeatHarmlessly()
{
    const ServiceClient client(*m_simulator);
    client.createOrder("ZVQR", "order-1", 100);
    QCOMPARE(client.status("order-1").orderOutcome(), "paid");

    const Answer first = client.returnMoney("order-1", "refund-1", 60);
    QCOMPARE(first.codeError(), 0);
    QCOMPARE(first.json().value("refundId"), "refund-1");
    QCOMPARE(first.json().value("result"), true);
    QCOMPARE(client.returnMoney("order-1", "refund-1", 60).body, first.body);
    QCOMPARE(client.returnMoney("order-1", "refund-2", 40.01).codeError(), 161);
    QCOMPARE(client.returnMoney("order-1", "refund-3", 40).codeError(), 0);
    QCOMPARE(client.returnMoney("order-1", "refund-4", 0.01).codeError(), 161);
    QCOMPARE(order("order-1", "returned"), 100);
    QCOMPARE(order("order-1", "refunds"), QJsonArray({"refund-1", "refund-3"}));
    QCOMPARE(m_simulator->state().value("returns").toArray().size(), 2);
}

void TestSimulator::cancelAndReturnRules_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<double>("cost");
    QTest::addColumn<QString>("refundId"); // empty: a cancellation
    QTest::addColumn<int>("codeError");
    QTest::addColumn<QString>("outcomeAfter");

    QTest::newRow("cancel unpaid") << "ZVQR-NEVER" << 0.0 << "" << 0 << "declined";
    QTest::newRow("cancel paid") << "ZVQR" << 0.0 << "" << 150 << "paid";
    QTest::newRow("cancel declined") << "ZVQR-DECLINE" << 0.0 << "" << 0 << "declined";
    QTest::newRow("return unpaid") << "ZVQR-NEVER" << 1.0 << "refund-2" << 160 << "registered";
    QTest::newRow("return declined") << "ZVQR-DECLINE" << 1.0 << "refund-2" << 160 << "declined";
    QTest::newRow("returns refused") << "ZVQR-RETURNERR" << 1.0 << "refund-2" << 162 << "paid";
    QTest::newRow("refund id of another order") << "ZVQR" << 1.0 << "refund-1" << 163 << "paid";
    QTest::newRow("negative return") << "ZVQR" << -1.0 << "refund-2" << 132 << "paid";
}

void TestSimulator::cancelAndReturnRules()
{
    QFETCH(QString, code);
    QFETCH(QString, refundId);
    QFETCH(double, cost);
    QFETCH(QString, outcomeAfter);

    const ServiceClient client(*m_simulator);
    client.createOrder("ZVQR-1", "other", 10);
    client.status("other");
    QCOMPARE(client.returnMoney("other", "refund-1", 1).codeError(), 0);
    client.createOrder(code, "order-1", 10);
    const QString stateBefore = client.status("order-1").orderOutcome();

    const Answer answer = refundId.isEmpty() ? client.cancel("order-1")
                                             : client.returnMoney("order-1", refundId, cost);
    QTEST(answer.codeError(), "codeError");
    QCOMPARE(answer.json().value("result") == true, answer.codeError() == 0);
    QCOMPARE(client.status("order-1").orderOutcome(), outcomeAfter);
    // An unpaid order is cancelled; a decided one keeps its state.
    QCOMPARE(order("order-1", "state").toString(),
             stateBefore == "registered" && refundId.isEmpty() ? "cancelled" : stateBefore);
    QCOMPARE(order("order-1", "returned"), 0);
    QCOMPARE(client.cancel("unknown").codeError(), 140);
    QCOMPARE(client.returnMoney("unknown", "refund-9", 1).codeError(), 140);
}

void TestSimulator::credentials_data()
{
    QTest::addColumn<QString>("apiKey");
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<QString>("userToken");

    // The percent sign is part of the key, not an escape.
    QTest::newRow("both right") << "key%41" << 200 << "token-1";
    QTest::newRow("key decoded") << "keyA" << 401 << "token-1";
    QTest::newRow("wrong token") << "key%41" << 401 << "token-2";
    QTest::newRow("empty key") << "" << 401 << "token-1";
}

void TestSimulator::credentials()
{
    QFETCH(QString, apiKey);
    QFETCH(int, httpStatus);
    QFETCH(QString, userToken);

    SimulatorOptions options;
    options.apiKey = "key%41";
    options.userToken = "token-1";
    startSimulator(options);
    const ServiceClient client(
        *m_simulator, {{"api-key", apiKey.toStdString()}, {"user-token", userToken.toStdString()}});

    const Answer session = client.startSession("ZVQR");
    QCOMPARE(session.httpStatus, httpStatus);
    QCOMPARE(session.codeError(), httpStatus == 401 ? 401 : 0);
    QCOMPARE(m_simulator->state().value("sessions").toArray().size(), httpStatus == 401 ? 0 : 1);
    QCOMPARE(client.status("order-1").httpStatus, httpStatus);
    QCOMPARE(ServiceClient(*m_simulator).get("/sim/state").httpStatus, 200);
}

void TestSimulator::statusFaults_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("faultyRequest");
    QTest::addColumn<int>("httpStatus"); // 0: no answer at all
    QTest::addColumn<QString>("contentType");
    QTest::addColumn<bool>("overTls");

    QTest::newRow("error envelope")
        << "ZVQR-PAY3-STATUSERR2" << 2 << 200 << "application/json" << false;
    QTest::newRow("dropped connection") << "ZVQR-PAY3-DROPSTATUS1" << 1 << 0 << "" << false;
    QTest::newRow("not JSON") << "ZVQR-PAY3-NOTJSON2" << 2 << 200 << "text/plain" << false;
    QTest::newRow("HTML error page") << "ZVQR-PAY3-HTML5001" << 1 << 500 << "text/html" << false;
    QTest::newRow("dropped connection, HTTPS") << "ZVQR-PAY3-STATUSDROP2" << 2 << 0 << "" << true;
    QTest::newRow("bad gateway, HTTPS")
        << "ZVQR-PAY3-STATUSGATEWAY1" << 1 << 502 << "text/plain" << true;
}

// The faulty request counts all the same: the order is paid at the third one.
void TestSimulator::statusFaults()
{
    QFETCH(QString, code);
    QFETCH(int, faultyRequest);
    QFETCH(int, httpStatus);
    QFETCH(QString, contentType);
    QFETCH(bool, overTls);

    if (overTls) {
        SimulatorOptions options;
        options.tlsCertificateFile = m_dir.filePath("server.pem");
        options.tlsPrivateKeyFile = m_dir.filePath("server.key");
        startSimulator(options);
    }
    const ServiceClient client(*m_simulator);
    client.createOrder(code, "order-1", 10);
    for (int request = 1; request <= 3; ++request) {
        const Answer answer = client.status("order-1");
        if (request != faultyRequest) {
            QCOMPARE(answer.orderOutcome(), request == 3 ? "paid" : "registered");
            continue;
        }
        QCOMPARE(answer.delivered, httpStatus != 0);
        QCOMPARE(answer.httpStatus, httpStatus);
        QVERIFY(QString::fromStdString(answer.contentType).startsWith(contentType));
        const bool isEnvelope = contentType == "application/json";
        QCOMPARE(answer.codeError(), isEnvelope ? 141 : 0);
        QCOMPARE(QJsonDocument::fromJson(answer.body).isObject(), isEnvelope);
    }
    QCOMPARE(order("order-1", "statusRequests"), 3);
}

void TestSimulator::sandboxControls_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("manual"); // every order waits for the phone
    // "METHOD PATH [BODY]" on order-1; POST-TEXT posts the body as plain text.
    QTest::addColumn<QByteArrayList>("controls");
    QTest::addColumn<int>("codeError");        // of the last control
    QTest::addColumn<QStringList>("outcomes"); // of the status requests that follow

    const auto phone = [](const char *state) -> QByteArray {
        return QByteArray(R"(POST /sim/phone {"client_transaction": "order-1", "state": ")") + state
               + R"("})";
    };
    const auto fault = [](const char *stage, const char *word) -> QByteArray {
        return QByteArray(R"(POST /sim/fault {"stage": ")") + stage + R"(", "fault": ")" + word
               + R"("})";
    };
    QTest::newRow("waits for the phone") << "ZVQR-MANUAL" << false << QByteArrayList{} << 0
                                         << QStringList{"registered", "registered"};
    QTest::newRow("paid by phone") << "ZVQR-MANUAL" << false << QByteArrayList{phone("paid")} << 0
                                   << QStringList{"paid", "paid"};
    QTest::newRow("declined by phone, every code manual")
        << "ZVQR-PAY1" << true << QByteArrayList{phone("declined")} << 0 << QStringList{"declined"};
    QTest::newRow("decided once") << "ZVQR-MANUAL" << false
                                  << QByteArrayList{phone("paid"), phone("declined")} << 170
                                  << QStringList{"paid"};
    QTest::newRow("unknown state") << "ZVQR-MANUAL" << false << QByteArrayList{phone("expired")}
                                   << 100 << QStringList{"registered"};
    QTest::newRow("unknown order")
        << "ZVQR-MANUAL" << false
        << QByteArrayList{R"(POST /sim/phone {"client_transaction": "other", "state": "paid"})"}
        << 140 << QStringList{"registered"};
    QTest::newRow("phone only with JSON")
        << "ZVQR-MANUAL" << false << QByteArrayList{phone("paid").replace("POST", "POST-TEXT")}
        << 100 << QStringList{"registered"};
    QTest::newRow("phone only by POST")
        << "ZVQR-MANUAL" << false << QByteArrayList{"GET /sim/phone"} << 404
        << QStringList{"registered"};
    QTest::newRow("fault spoils the next answer only")
        << "ZVQR-PAY2" << false << QByteArrayList{fault("status", "HTML")} << 0
        << QStringList{"HTTP 500", "paid", "paid"};
    QTest::newRow("fault of another stage")
        << "ZVQR" << false << QByteArrayList{fault("return", "DROP")} << 0 << QStringList{"paid"};
    QTest::newRow("fault taken back")
        << "ZVQR" << false << QByteArrayList{fault("status", "DROP"), fault("status", "")} << 0
        << QStringList{"paid"};
    QTest::newRow("unknown fault word")
        << "ZVQR" << false << QByteArrayList{fault("status", "BOOM")} << 100 << QStringList{"paid"};
}

void TestSimulator::sandboxControls()
{
    QFETCH(bool, manual);
    QFETCH(QByteArrayList, controls);
    QFETCH(QStringList, outcomes);

    SimulatorOptions options;
    options.manual = manual;
    startSimulator(options);
    const ServiceClient client(*m_simulator);
    QFETCH(QString, code);
    client.createOrder(code, "order-1", 10);
    int codeError = 0;
    for (const QByteArray &control : std::as_const(controls)) {
        const QByteArrayList parts = control.split(' ');
        const QByteArray body = control.mid(parts.at(0).size() + parts.at(1).size() + 2);
        const std::string path = parts.at(1).toStdString();
        const Answer answer = parts.at(0) == "GET"    ? client.get(path)
                              : parts.at(0) == "POST" ? client.postRaw(path, body)
                                                      : client.postRaw(path, body, "text/plain");
        codeError = answer.codeError();
    }
    QTEST(codeError, "codeError");
    for (const QString &expected : std::as_const(outcomes)) {
        const Answer answer = client.status("order-1");
        QCOMPARE(answer.httpStatus == 200 ? answer.orderOutcome()
                                          : QStringLiteral("HTTP %1").arg(answer.httpStatus),
                 expected);
    }
}

void TestSimulator::slowAnswerIsCarriedOutAndStopCutsItShort()
{
    SimulatorOptions options;
    options.slowAnswerDelay = 60s;
    startSimulator(options);
    ServiceClient client(*m_simulator);
    client.createOrder("ZVQR-SLOWSTATUS1", "order-1", 10);
    client.setReadTimeout(200ms);

    QVERIFY(!client.status("order-1").delivered);
    QCOMPARE(order("order-1", "state"), "paid");
    client.setReadTimeout(5s);
    QCOMPARE(client.status("order-1").orderOutcome(), "paid");
    // Would otherwise wait out the minute for the pending answer.
    m_simulator->stop();
    QVERIFY(!m_simulator->isRunning());
}

void TestSimulator::busyPortIsRefused()
{
    Simulator second;
    QVERIFY(!second.start("127.0.0.1", m_simulator->port()));
    QVERIFY(!second.isRunning());
    QVERIFY(!m_simulator->start());
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
