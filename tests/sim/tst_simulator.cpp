#include "sim/Simulator.h"

#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace std::chrono_literals;
using zorviksim::Simulator;
using zorviksim::SimulatorOptions;

namespace {

// What came back for one request; nothing was delivered when the connection gave no answer.
struct Answer
{
    bool delivered = false;
    int httpStatus = 0;
    std::string contentType;
    QByteArray body;

    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    int codeError() const { return json().value(QLatin1String("codeError")).toInt(); }
    // "registered", "paid" or "declined" for an answer of the result endpoint.
    QString orderOutcome() const
    {
        const QJsonObject answer = json();
        if (answer.value(QLatin1String("status")) == 0)
            return QStringLiteral("registered");
        if (answer.value(QLatin1String("status")) == 1)
            return answer.value(QLatin1String("result")).toBool() ? QStringLiteral("paid")
                                                                  : QStringLiteral("declined");
        return QString::fromUtf8(body);
    }
};

// The client side of the exchanges, as the plug-in makes them, over real HTTP.
class ServiceClient
{
public:
    explicit ServiceClient(const Simulator &simulator, httplib::Headers headers = {})
        : m_port(simulator.port())
        , m_headers(std::move(headers))
    {}

    void setReadTimeout(std::chrono::milliseconds timeout) { m_readTimeout = timeout; }

    Answer postRaw(const std::string &path, const QByteArray &body) const
    {
        return finish(client()->Post(path, m_headers, body.toStdString(), "application/json"));
    }
    Answer post(const std::string &path, const QJsonObject &body) const
    {
        return postRaw(path, QJsonDocument(body).toJson(QJsonDocument::Compact));
    }
    Answer get(const std::string &pathAndQuery) const
    {
        return finish(client()->Get(pathAndQuery, m_headers));
    }

    QString openSession(const QString &payload) const
    {
        return post("/cpqr/start_session", {{"cpqr_payload", payload}})
            .json()
            .value(QLatin1String("quickpay_id"))
            .toString();
    }
    // Opens the session for the code and registers an order in it.
    Answer createOrder(const QString &payload,
                       const QString &transaction,
                       double cost,
                       const QJsonObject &extra = {}) const
    {
        QJsonObject body = extra;
        body.insert("cpqr_payload", payload);
        body.insert("quickpay_id", openSession(payload));
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
    std::unique_ptr<httplib::Client> client() const
    {
        auto client = std::make_unique<httplib::Client>("127.0.0.1", m_port);
        const auto micro = std::chrono::duration_cast<std::chrono::microseconds>(m_readTimeout);
        client->set_read_timeout(micro.count() / 1000000, micro.count() % 1000000);
        return client;
    }
    static Answer finish(const httplib::Result &result)
    {
        Answer answer;
        if (!result)
            return answer;
        answer.delivered = true;
        answer.httpStatus = result->status;
        answer.contentType = result->get_header_value("Content-Type");
        answer.body = QByteArray::fromStdString(result->body);
        return answer;
    }

    quint16 m_port;
    httplib::Headers m_headers;
    std::chrono::milliseconds m_readTimeout = 5s;
};

QJsonObject orderState(Simulator &simulator, const QString &transaction)
{
    const QJsonArray orders = simulator.state().value(QLatin1String("orders")).toArray();
    for (const QJsonValue &order : orders) {
        if (order[QLatin1String("client_transaction")] == transaction)
            return order.toObject();
    }
    return {};
}

QJsonObject cartOf(const QByteArray &items)
{
    return {{"items", QJsonDocument::fromJson(items).array()}};
}

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void sessionAnswers_data();
    void sessionAnswers();
    void sessionIsDerivedFromTheCode();
    void statusProgress_data();
    void statusProgress();
    void paidCartCarriesUnitPricesAsText();
    void orderCreationRefusals_data();
    void orderCreationRefusals();
    void returnsStayWithinThePaidAmountAndRepeatHarmlessly();
    void returnRefusals_data();
    void returnRefusals();
    void cancel_data();
    void cancel();
    void credentials_data();
    void credentials();
    void unpaidOrderExpires();
    void statusFaults_data();
    void statusFaults();
    void spoiltAnswersOfEachStage_data();
    void spoiltAnswersOfEachStage();
    void slowAnswersStillRegisterAndCount();
    void journalKeepsEveryRequestInOrder();
    void stateEndpointServesTheSnapshot();
    void busyPortIsRefused();

private:
    void startSimulator(const SimulatorOptions &options = {});

    std::unique_ptr<Simulator> m_simulator;
};

void TestSimulator::init()
{
    startSimulator();
}

void TestSimulator::cleanup()
{
    m_simulator.reset();
}

void TestSimulator::startSimulator(const SimulatorOptions &options)
{
    m_simulator = std::make_unique<Simulator>(options);
    QVERIFY(m_simulator->start());
    QVERIFY(m_simulator->port() > 0);
    QCOMPARE(m_simulator->baseUrl(),
             QStringLiteral("http://127.0.0.1:%1/").arg(m_simulator->port()));
}

void TestSimulator::sessionAnswers_data()
{
    QTest::addColumn<QString>("payload");
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
    QFETCH(QString, payload);
    QFETCH(int, codeError);
    QFETCH(bool, hasMerchantPayload);
    QFETCH(int, loyaltyIds);

    const Answer answer
        = ServiceClient(*m_simulator).post("/cpqr/start_session", {{"cpqr_payload", payload}});
    const QJsonObject json = answer.json();
    QCOMPARE(answer.codeError(), codeError);
    QCOMPARE(json.contains("quickpay_id"), codeError == 0);
    if (codeError != 0) {
        QVERIFY(!json.value("error").toString().isEmpty());
        return;
    }
    QVERIFY(json.value("quickpay_id").toString().startsWith("qp-"));
    QCOMPARE(json.value("merchant_payload").toString().startsWith("7700"), hasMerchantPayload);
    const QJsonArray ids = json.value("loyalty").toObject().value("loyalty_ids").toArray();
    QCOMPARE(ids.size(), loyaltyIds);
    for (const QJsonValue &id : ids)
        QVERIFY(!id.toString().isEmpty());
}

void TestSimulator::sessionIsDerivedFromTheCode()
{
    const ServiceClient client(*m_simulator);
    const QJsonObject first
        = client.post("/cpqr/start_session", {{"cpqr_payload", "ZVQR-A"}}).json();
    const QJsonObject again
        = client.post("/cpqr/start_session", {{"cpqr_payload", "ZVQR-A"}}).json();
    const QJsonObject other
        = client.post("/cpqr/start_session", {{"cpqr_payload", "ZVQR-B"}}).json();
    QCOMPARE(again, first);
    QVERIFY(other.value("quickpay_id") != first.value("quickpay_id"));
    QVERIFY(other.value("merchant_payload") != first.value("merchant_payload"));
    QCOMPARE(m_simulator->state().value("sessions").toArray().size(), 2);
}

void TestSimulator::statusProgress_data()
{
    QTest::addColumn<QString>("payload");
    QTest::addColumn<QStringList>("outcomes");
    QTest::addColumn<QString>("finalState");

    QTest::newRow("paid at once") << "ZVQR123" << QStringList{"paid", "paid"} << "paid";
    QTest::newRow("paid at the third")
        << "ZVQR-PAY3" << QStringList{"registered", "registered", "paid", "paid"} << "paid";
    QTest::newRow("declined at the second")
        << "ZVQR-DECLINE2" << QStringList{"registered", "declined", "declined"} << "declined";
    QTest::newRow("never decided")
        << "ZVQR-NEVER" << QStringList{"registered", "registered", "registered"} << "registered";
}

void TestSimulator::statusProgress()
{
    QFETCH(QString, payload);
    QFETCH(QStringList, outcomes);
    QFETCH(QString, finalState);

    const ServiceClient client(*m_simulator);
    const Answer created = client.createOrder(payload, "order-1", 150.5);
    QCOMPARE(created.json().value("payment_status"), "started");
    QCOMPARE(created.json().value("client_transaction"), "order-1");

    for (const QString &expected : std::as_const(outcomes))
        QCOMPARE(client.status("order-1").orderOutcome(), expected);
    const QJsonObject order = orderState(*m_simulator, "order-1");
    QCOMPARE(order.value("state").toString(), finalState);
    QCOMPARE(order.value("statusRequests").toInt(), outcomes.size());
    QCOMPARE(client.status("unknown-order").codeError(), 140);
}

void TestSimulator::paidCartCarriesUnitPricesAsText()
{
    const QJsonObject cart = cartOf(R"([
        {"productId": "4600_1", "quantity": {"count": 1.5}, "title": "Сыр", "cost": 100,
         "unit_price": 66.666667},
        {"productId": "_2", "quantity": {"count": 2}, "title": "Хлеб", "cost": 61},
        {"productId": "", "quantity": {"count": 1}, "title": "Частичная оплата заказа",
         "cost": 30.5, "unit_price": 30.5}])");
    const ServiceClient client(*m_simulator);
    client.createOrder("ZVQR", "order-1", 191.5, {{"cart", cart}});

    const QJsonObject paid = client.status("order-1").json();
    QCOMPARE(paid.value("status"), 1);
    QCOMPARE(paid.value("result"), true);
    const QJsonArray items = paid.value("cart").toObject().value("items").toArray();
    QCOMPARE(items.size(), 3);
    QCOMPARE(items[0]["productId"], "4600_1");
    QCOMPARE(items[0]["quantity"]["count"], 1.5);
    QCOMPARE(items[0]["title"], "Сыр");
    QCOMPARE(items[0]["cost"], 100);
    QCOMPARE(items[0]["unit_price"], "66.67");
    QCOMPARE(items[1]["unit_price"], "30.50");
    QCOMPARE(items[2]["productId"], "");
    QCOMPARE(items[2]["unit_price"], "30.50");
}

void TestSimulator::orderCreationRefusals_data()
{
    QTest::addColumn<QString>("payload");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<int>("codeError");

    // $QP stands for the quick-pay id of the session opened with the row's code.
    const QByteArray fields = R"("posId": "3", "cashierId": "17")";
    const auto order
        = [&fields](const char *payload, const char *transaction, const char *cost) -> QByteArray {
        return QByteArray(R"({"cpqr_payload": ")") + payload + R"(", "quickpay_id": "$QP", )"
               + R"("client_transaction": ")" + transaction + R"(", "cost": )" + cost + ", "
               + fields + "}";
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
    QFETCH(QString, payload);
    QFETCH(QByteArray, body);
    QFETCH(int, httpStatus);
    QFETCH(int, codeError);

    const ServiceClient client(*m_simulator);
    QCOMPARE(client.createOrder("ZVQR", "taken", 5).codeError(), 0);
    client.openSession("ZVQR-B");
    body.replace("$QP", client.openSession(payload).toUtf8());

    const Answer answer = client.postRaw("/cpqr/operation/create", body);
    QCOMPARE(answer.httpStatus, httpStatus);
    QCOMPARE(answer.codeError(), codeError);
    const int orders = m_simulator->state().value("orders").toArray().size();
    QCOMPARE(orders, codeError == 0 ? 2 : 1);
    QCOMPARE(orderState(*m_simulator, "taken").value("cost"), 5);
}

void TestSimulator::returnsStayWithinThePaidAmountAndRepeatHarmlessly()
{
    const ServiceClient client(*m_simulator);
    client.createOrder("ZVQR", "order-1", 100);
    QCOMPARE(client.status("order-1").orderOutcome(), "paid");

    const Answer first = client.returnMoney("order-1", "refund-1", 60);
    QCOMPARE(first.codeError(), 0);
    QCOMPARE(first.json().value("refundId"), "refund-1");
    QCOMPARE(first.json().value("status"), 1);
    QCOMPARE(first.json().value("result"), true);
    QCOMPARE(client.returnMoney("order-1", "refund-1", 60).body, first.body);
    QCOMPARE(client.returnMoney("order-1", "refund-2", 40.01).codeError(), 161);
    QCOMPARE(client.returnMoney("order-1", "refund-3", 40).codeError(), 0);
    QCOMPARE(client.returnMoney("order-1", "refund-4", 0.01).codeError(), 161);

    const QJsonObject order = orderState(*m_simulator, "order-1");
    QCOMPARE(order.value("returned"), 100);
    QCOMPARE(order.value("refunds").toArray(), QJsonArray({"refund-1", "refund-3"}));
    const QJsonArray returns = m_simulator->state().value("returns").toArray();
    QCOMPARE(returns.size(), 2);
    QCOMPARE(returns[0]["cost"], 60);
    QCOMPARE(returns[1]["cost"], 40);
}

void TestSimulator::returnRefusals_data()
{
    QTest::addColumn<QString>("payload");
    QTest::addColumn<QString>("refundId");
    QTest::addColumn<double>("cost");
    QTest::addColumn<int>("codeError");

    QTest::newRow("unpaid order") << "ZVQR-NEVER"
                                  << "refund-2" << 1.0 << 160;
    QTest::newRow("declined order") << "ZVQR-DECLINE"
                                    << "refund-2" << 1.0 << 160;
    QTest::newRow("returns refused") << "ZVQR-RETURNERR"
                                     << "refund-2" << 1.0 << 162;
    QTest::newRow("refund id of another order") << "ZVQR"
                                                << "refund-1" << 1.0 << 163;
    QTest::newRow("negative cost") << "ZVQR"
                                   << "refund-2" << -1.0 << 132;
}

void TestSimulator::returnRefusals()
{
    QFETCH(QString, payload);
    QFETCH(QString, refundId);
    QFETCH(double, cost);
    QFETCH(int, codeError);

    const ServiceClient client(*m_simulator);
    client.createOrder("ZVQR-1", "other", 10);
    client.status("other");
    QCOMPARE(client.returnMoney("other", "refund-1", 1).codeError(), 0);
    client.createOrder(payload, "order-1", 10);
    client.status("order-1");

    QCOMPARE(client.returnMoney("order-1", refundId, cost).codeError(), codeError);
    QCOMPARE(orderState(*m_simulator, "order-1").value("returned"), 0);
    QCOMPARE(client.returnMoney("unknown", "refund-9", 1).codeError(), 140);
}

void TestSimulator::cancel_data()
{
    QTest::addColumn<QString>("payload");
    QTest::addColumn<int>("codeError");
    QTest::addColumn<QString>("stateAfter");
    QTest::addColumn<QString>("outcomeAfter");

    QTest::newRow("unpaid") << "ZVQR-NEVER" << 0 << "cancelled"
                            << "declined";
    QTest::newRow("paid") << "ZVQR" << 150 << "paid"
                          << "paid";
    QTest::newRow("declined stays declined") << "ZVQR-DECLINE" << 0 << "declined"
                                             << "declined";
}

void TestSimulator::cancel()
{
    QFETCH(QString, payload);
    QFETCH(int, codeError);
    QFETCH(QString, stateAfter);
    QFETCH(QString, outcomeAfter);

    const ServiceClient client(*m_simulator);
    client.createOrder(payload, "order-1", 10);
    client.status("order-1");

    const Answer answer = client.cancel("order-1");
    QCOMPARE(answer.codeError(), codeError);
    if (codeError == 0)
        QCOMPARE(answer.json().value("result"), true);
    QCOMPARE(orderState(*m_simulator, "order-1").value("state").toString(), stateAfter);
    QCOMPARE(client.status("order-1").orderOutcome(), outcomeAfter);
    QCOMPARE(client.cancel("unknown").codeError(), 140);
}

void TestSimulator::credentials_data()
{
    QTest::addColumn<QString>("apiKey");
    QTest::addColumn<QString>("userToken");
    QTest::addColumn<int>("httpStatus");

    // The percent sign is part of the key, not an escape.
    QTest::newRow("both right") << "key%41"
                                << "token-1" << 200;
    QTest::newRow("key decoded") << "keyA"
                                 << "token-1" << 401;
    QTest::newRow("wrong token") << "key%41"
                                 << "token-2" << 401;
    QTest::newRow("empty key") << ""
                               << "token-1" << 401;
}

void TestSimulator::credentials()
{
    QFETCH(QString, apiKey);
    QFETCH(QString, userToken);
    QFETCH(int, httpStatus);

    SimulatorOptions options;
    options.apiKey = "key%41";
    options.userToken = "token-1";
    startSimulator(options);
    const ServiceClient client(
        *m_simulator, {{"api-key", apiKey.toStdString()}, {"user-token", userToken.toStdString()}});

    const Answer session = client.post("/cpqr/start_session", {{"cpqr_payload", "ZVQR"}});
    QCOMPARE(session.httpStatus, httpStatus);
    QCOMPARE(client.status("order-1").httpStatus, httpStatus);
    if (httpStatus == 401) {
        QCOMPARE(session.codeError(), 401);
        QVERIFY(!session.json().value("error").toString().isEmpty());
        QVERIFY(m_simulator->state().value("sessions").toArray().isEmpty());
    }
    QCOMPARE(ServiceClient(*m_simulator).get("/sim/state").httpStatus, 200);
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

    QTRY_COMPARE_WITH_TIMEOUT(orderState(*m_simulator, "order-1").value("state").toString(),
                              QStringLiteral("expired"),
                              10000);
    QCOMPARE(client.status("order-1").orderOutcome(), "declined");
    QCOMPARE(client.cancel("order-1").codeError(), 0);
    QCOMPARE(orderState(*m_simulator, "order-1").value("state").toString(), "expired");
    QCOMPARE(orderState(*m_simulator, "order-2").value("state").toString(), "paid");
}

void TestSimulator::statusFaults_data()
{
    QTest::addColumn<QString>("payload");
    QTest::addColumn<int>("faultyRequest");
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<QString>("contentType");

    // An HTTP status of 0: no answer at all.
    QTest::newRow("error envelope") << "ZVQR-PAY3-STATUSERR2" << 2 << 200 << "application/json";
    QTest::newRow("dropped connection") << "ZVQR-PAY3-DROPSTATUS1" << 1 << 0 << "";
    QTest::newRow("not JSON") << "ZVQR-PAY3-NOTJSON2" << 2 << 200 << "text/plain";
    QTest::newRow("HTML error page") << "ZVQR-PAY3-HTML5001" << 1 << 500 << "text/html";
}

void TestSimulator::statusFaults()
{
    QFETCH(QString, payload);
    QFETCH(int, faultyRequest);
    QFETCH(int, httpStatus);
    QFETCH(QString, contentType);

    const ServiceClient client(*m_simulator);
    client.createOrder(payload, "order-1", 10);
    for (int request = 1; request < faultyRequest; ++request)
        QCOMPARE(client.status("order-1").orderOutcome(), "registered");

    const Answer faulty = client.status("order-1");
    QCOMPARE(faulty.delivered, httpStatus != 0);
    QCOMPARE(faulty.httpStatus, httpStatus);
    QVERIFY(QString::fromStdString(faulty.contentType).startsWith(contentType));
    const bool isEnvelope = contentType == "application/json";
    QCOMPARE(faulty.codeError(), isEnvelope ? 141 : 0);
    QCOMPARE(QJsonDocument::fromJson(faulty.body).isObject(), isEnvelope);

    // The faulty request counted: the order is paid at the third one all the same.
    for (int request = faultyRequest + 1; request < 3; ++request)
        QCOMPARE(client.status("order-1").orderOutcome(), "registered");
    QCOMPARE(client.status("order-1").orderOutcome(), "paid");
    QCOMPARE(orderState(*m_simulator, "order-1").value("statusRequests"), 3);
}

void TestSimulator::spoiltAnswersOfEachStage_data()
{
    QTest::addColumn<QString>("payload");
    QTest::addColumn<int>("httpStatus"); // 0: no answer at all
    QTest::addColumn<QString>("body");   // what the body is

    QTest::newRow("order creation dropped") << "ZVQR-ORDERDROP" << 0 << "";
    QTest::newRow("order creation 502") << "ZVQR-ORDERGATEWAY1" << 502 << "empty";
    QTest::newRow("order creation oversized") << "ZVQR-ORDERHUGE" << 200 << "oversized";
    QTest::newRow("status JSON array") << "ZVQR-STATUSARRAY1" << 200 << "array";
    QTest::newRow("status truncated") << "ZVQR-STATUSTRUNCATED" << 200 << "truncated";
    QTest::newRow("status HTML 500") << "ZVQR-STATUSHTML" << 500 << "html";
    QTest::newRow("return not JSON") << "ZVQR-RETURNNOTJSON" << 200 << "text";
    QTest::newRow("return dropped") << "ZVQR-RETURNDROP1" << 0 << "";
    QTest::newRow("return 502") << "ZVQR-RETURNGATEWAY" << 502 << "empty";
}

// The first request of the stage gets the spoilt answer but is carried out; the second one of
// the same stage is answered as usual.
void TestSimulator::spoiltAnswersOfEachStage()
{
    QFETCH(QString, payload);
    QFETCH(int, httpStatus);
    QFETCH(QString, body);

    const ServiceClient client(*m_simulator);
    const auto secondOrder = [&client, &payload](const QString &quickpayId) {
        return client.post("/cpqr/operation/create",
                           {{"cpqr_payload", payload},
                            {"quickpay_id", quickpayId},
                            {"client_transaction", "order-2"},
                            {"cost", 10},
                            {"posId", "3"},
                            {"cashierId", "17"}});
    };
    Answer spoilt;
    Answer next;
    if (payload.contains("ORDER")) {
        spoilt = client.createOrder(payload, "order-1", 10);
        QCOMPARE(orderState(*m_simulator, "order-1").value("state"), "registered");
        next = secondOrder(orderState(*m_simulator, "order-1").value("quickpay_id").toString());
    } else if (payload.contains("STATUS")) {
        client.createOrder(payload, "order-1", 10);
        spoilt = client.status("order-1");
        QCOMPARE(orderState(*m_simulator, "order-1").value("state"), "paid");
        next = client.status("order-1");
    } else {
        client.createOrder(payload, "order-1", 10);
        client.status("order-1");
        spoilt = client.returnMoney("order-1", "refund-1", 4);
        QCOMPARE(orderState(*m_simulator, "order-1").value("returned"), 4);
        next = client.returnMoney("order-1", "refund-2", 1);
        QCOMPARE(orderState(*m_simulator, "order-1").value("returnRequests"), 2);
    }

    QCOMPARE(spoilt.delivered, httpStatus != 0);
    QCOMPARE(spoilt.httpStatus, httpStatus);
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(spoilt.body, &parseError);
    if (body == "empty")
        QVERIFY(spoilt.body.isEmpty());
    else if (body == "oversized")
        QVERIFY(document.isObject() && spoilt.body.size() > 8 * 1024 * 1024);
    else if (body == "array")
        QVERIFY(document.isArray());
    else if (body == "truncated")
        QCOMPARE(parseError.error, QJsonParseError::UnterminatedString);
    else if (body == "html")
        QVERIFY(spoilt.body.startsWith("<html>"));
    else if (body == "text")
        QVERIFY(!spoilt.body.isEmpty() && document.isNull());

    QCOMPARE(next.httpStatus, 200);
    QCOMPARE(next.codeError(), 0);
    QVERIFY(!next.json().isEmpty());
}

void TestSimulator::slowAnswersStillRegisterAndCount()
{
    SimulatorOptions options;
    options.slowAnswerDelay = 60s;
    startSimulator(options);
    ServiceClient client(*m_simulator);
    const QString quickpayId = client.openSession("ZVQR-SLOWORDER-SLOWSTATUS1");
    client.setReadTimeout(200ms);

    const Answer created = client.post("/cpqr/operation/create",
                                       {{"cpqr_payload", "ZVQR-SLOWORDER-SLOWSTATUS1"},
                                        {"quickpay_id", quickpayId},
                                        {"client_transaction", "order-1"},
                                        {"cost", 10},
                                        {"posId", "3"},
                                        {"cashierId", "17"}});
    QVERIFY(!created.delivered);
    QCOMPARE(orderState(*m_simulator, "order-1").value("state"), "registered");

    QVERIFY(!client.status("order-1").delivered);
    QCOMPARE(orderState(*m_simulator, "order-1").value("state"), "paid");
    client.setReadTimeout(5s);
    QCOMPARE(client.status("order-1").orderOutcome(), "paid");
    // Stopping cuts the pending slow answers short instead of waiting a minute for them.
    m_simulator->stop();
    QVERIFY(!m_simulator->isRunning());
}

void TestSimulator::journalKeepsEveryRequestInOrder()
{
    const ServiceClient client(*m_simulator, {{"api-key", "key-1"}, {"user-token", ""}});
    const QByteArray sessionBody = R"({"cpqr_payload":"ZVQR-NEVER"})";
    client.postRaw("/cpqr/start_session", sessionBody);
    client.status("order 1/ä");
    client.postRaw("/cpqr/operation/cancel", "not json");
    client.get("/sim/state");

    const QList<zorviksim::ReceivedRequest> requests = m_simulator->receivedRequests();
    QCOMPARE(requests.size(), 4);
    QCOMPARE(requests[0].method, "POST");
    QCOMPARE(requests[0].path, "/cpqr/start_session");
    QCOMPARE(requests[0].body, sessionBody);
    QCOMPARE(requests[0].json().value("cpqr_payload"), "ZVQR-NEVER");
    QCOMPARE(requests[0].header("API-KEY"), "key-1");
    QVERIFY(requests[0].hasHeader("user-token"));
    QCOMPARE(requests[0].header("user-token"), "");
    QCOMPARE(requests[0].header("Content-Type"), "application/json");
    QVERIFY(!requests[0].hasHeader("REMOTE_ADDR"));
    QCOMPARE(requests[1].method, "GET");
    QCOMPARE(requests[1].path, "/cpqr/operation/result");
    QCOMPARE(requests[1].query.queryItemValue("client_transaction", QUrl::FullyDecoded),
             "order 1/ä");
    QVERIFY(requests[1].body.isEmpty());
    QCOMPARE(requests[2].body, "not json");
    QCOMPARE(requests[3].path, "/sim/state");
}

void TestSimulator::stateEndpointServesTheSnapshot()
{
    const ServiceClient client(*m_simulator);
    const QJsonObject cart = cartOf(R"([{"productId": "_1", "quantity": {"count": 1},
                                         "title": "Чай", "cost": 12.5, "unit_price": 12.5}])");
    client.createOrder("ZVQR", "order-1", 12.5, {{"cart", cart}, {"comment", "0042 07"}});
    client.status("order-1");
    client.returnMoney("order-1", "refund-1", 2.5);

    const Answer served = client.get("/sim/state");
    QCOMPARE(served.httpStatus, 200);
    QCOMPARE(served.json(), m_simulator->state());
    const QJsonObject order = orderState(*m_simulator, "order-1");
    QCOMPARE(order.value("state"), "paid");
    QCOMPARE(order.value("cost"), 12.5);
    QCOMPARE(order.value("returned"), 2.5);
    QCOMPARE(order.value("refunds").toArray(), QJsonArray({"refund-1"}));
    QCOMPARE(order.value("cart").toObject(), cart);
    QCOMPARE(order.value("comment"), "0042 07");
    QCOMPARE(order.value("posId"), "3");
    QCOMPARE(order.value("cashierId"), "17");
    QCOMPARE(order.value("statusRequests"), 1);
    QCOMPARE(order.value("cpqr_payload"), "ZVQR");
    const QJsonObject session = served.json().value("sessions").toArray().first().toObject();
    QCOMPARE(session.value("quickpay_id"), order.value("quickpay_id"));
    QCOMPARE(client.get("/cpqr/nothing").codeError(), 404);
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
