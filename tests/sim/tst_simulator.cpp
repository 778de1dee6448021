// The simulated service's own rules over real HTTP, as transcripts of requests and answers;
// the plug-in against the service is the subject of tests/processing and tests/reliability.

#include "sim/Simulator.h"

#include <httplib.h>

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using zorviksim::Simulator;

namespace {

// "error N" for the service's error envelope (after "HTTP S" when not 200), else the order's
// state for a status request answered with HTTP 200 and "ok" for the other answers.
QString describe(const httplib::Result &answer, bool orderState)
{
    if (!answer)
        return QStringLiteral("no answer");
    QString http
        = answer->status == 200 ? QString() : QStringLiteral("HTTP %1 ").arg(answer->status);
    if (answer->has_header("Location"))
        http += QStringLiteral("to %1 ").arg(
            QString::fromStdString(answer->get_header_value("Location")));
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(answer->body));
    const int codeError = json[QLatin1String("codeError")].toInt();
    if (codeError != 0)
        return http + QStringLiteral("error %1").arg(codeError);
    if (!orderState || !http.isEmpty())
        return http + QStringLiteral("ok");
    if (!json[QLatin1String("status")].isDouble())
        return QStringLiteral("no state");
    if (json[QLatin1String("status")] == 0)
        return QStringLiteral("registered");
    return json[QLatin1String("result")].toBool() ? QStringLiteral("paid")
                                                  : QStringLiteral("declined");
}

// The requests that carry a JSON object of text members, the words of the step in order.
struct JsonRequest
{
    const char *path;
    QStringList members;
};

const QHash<QString, JsonRequest> JsonRequests{
    {QStringLiteral("session"), {"/cpqr/start_session", {"cpqr_payload"}}},
    {QStringLiteral("cancel"), {"/cpqr/operation/cancel", {"client_transaction"}}},
    {QStringLiteral("return"),
     {"/cpqr/operation/return", {"client_transaction", "refundId", "cost"}}},
    {QStringLiteral("phone"), {"/sim/phone", {"client_transaction", "state"}}},
    {QStringLiteral("expire"), {"/sim/expire", {"client_transaction"}}},
    {QStringLiteral("fault"), {"/sim/fault", {"stage", "fault"}}},
    {QStringLiteral("reset"), {"/sim/reset", {}}}};

QJsonDocument jsonOf(const httplib::Result &answer)
{
    return answer ? QJsonDocument::fromJson(QByteArray::fromStdString(answer->body))
                  : QJsonDocument();
}

// "registered, undecided, till 3, cashier 17" for the order in the state.
QString describeOrder(const QJsonObject &order)
{
    if (order.isEmpty())
        return QStringLiteral("unknown");
    const QDateTime created
        = QDateTime::fromString(order[QLatin1String("createdAt")].toString(), Qt::ISODateWithMs);
    const QDateTime decided
        = QDateTime::fromString(order[QLatin1String("decidedAt")].toString(), Qt::ISODateWithMs);
    QString when = decided.isValid() ? QStringLiteral("decided") : QStringLiteral("undecided");
    if (!created.isValid() || (decided.isValid() && decided < created))
        when = QStringLiteral("created %1, decided %2")
                   .arg(created.toString(Qt::ISODateWithMs), decided.toString(Qt::ISODateWithMs));
    return QStringLiteral("%1, %2, till %3, cashier %4")
        .arg(order[QLatin1String("state")].toString(),
             when,
             order[QLatin1String("posId")].toString(),
             order[QLatin1String("cashierId")].toString());
}

// "GET /path?query 200 DROP" for a request of the log.
QString describeLogged(const QJsonObject &request)
{
    const int status = request[QLatin1String("status")].toInt();
    QString text = request[QLatin1String("method")].toString() + QLatin1Char(' ')
                   + request[QLatin1String("target")].toString() + QLatin1Char(' ')
                   + (status == 0 ? QStringLiteral("no answer") : QString::number(status));
    const QString fault = request[QLatin1String("fault")].toString();
    return fault.isEmpty() ? text : text + QLatin1Char(' ') + fault;
}

// "api-key: se… (16 characters), request 0 bytes, answer 45 bytes" of the request's bodies.
QString describeBodies(const QJsonObject &details)
{
    QStringList parts;
    for (const QJsonValue &header : details[QLatin1String("headers")].toArray()) {
        const QString name = header[0].toString();
        if (name == QLatin1String("api-key") || name == QLatin1String("user-token"))
            parts.append(name + QStringLiteral(": ") + header[1].toString());
    }
    for (const char *body : {"requestBody", "answerBody"}) {
        const QJsonObject shown = details[QLatin1String(body)].toObject();
        const qsizetype bytes = shown[QLatin1String("bytes")].toInteger();
        const qsizetype shownBytes = shown[QLatin1String("text")].toString().toUtf8().size();
        const bool cut = shown[QLatin1String("cut")].toBool();
        parts.append(QStringLiteral("%1 %2 bytes").arg(QLatin1String(body)).arg(bytes)
                     + (shownBytes == bytes && !cut
                            ? QString()
                            : QStringLiteral(", %1 shown%2")
                                  .arg(shownBytes)
                                  .arg(cut ? QStringLiteral(" (cut)") : QString())));
    }
    return parts.join(QStringLiteral(", "));
}

// The client side of the exchanges, one step of a transcript at a time.
class ServiceClient
{
public:
    explicit ServiceClient(const Simulator &simulator)
        : m_client(simulator.baseUrl().chopped(1).toStdString())
    {}

    // "session CODE", "create ID CODE COST [SESSION_CODE|nosession]", "status ID",
    // "keyed-status ID API_KEY USER_TOKEN", "cancel ID", "return ID REFUND_ID COST",
    // "phone ID STATE", "expire ID", "fault STAGE WORD", "reset", "get PATH",
    // "post-text PATH BODY", "post-json PATH BODY"; and of the sandbox's records "order ID",
    // "log [ID]" (oldest first) and "bodies" (of the latest request).
    QString run(const QString &step)
    {
        const QStringList words = step.split(QLatin1Char(' '));
        const QString command = words.at(0);
        if (command == QLatin1String("order"))
            return describeOrder(stateOrder(words.at(1)));
        if (command == QLatin1String("log"))
            return loggedRequests(words.value(1));
        if (command == QLatin1String("bodies"))
            return bodiesOfLatest();
        if (command == QLatin1String("keyed-status")) {
            return describe(m_client.Get("/cpqr/operation/result?client_transaction="
                                             + words.at(1).toStdString(),
                                         {{"api-key", words.at(2).toStdString()},
                                          {"user-token", words.at(3).toStdString()}}),
                            true);
        }
        if (command == QLatin1String("post-json"))
            return describe(post(words.at(1), words.mid(2).join(' ').toUtf8()), false);
        if (command == QLatin1String("status"))
            return describe(get("/cpqr/operation/result?client_transaction=" + words.at(1)), true);
        if (command == QLatin1String("get"))
            return describe(get(words.at(1)), false);
        if (command == QLatin1String("post-text"))
            return describe(post(words.at(1), words.mid(2).join(' ').toUtf8(), "text/plain"),
                            false);
        if (command == QLatin1String("create"))
            return describe(createOrder(words), false);
        const JsonRequest request = JsonRequests.value(command);
        QJsonObject body;
        for (qsizetype i = 0; i < request.members.size(); ++i) {
            const QString value = words.value(i + 1);
            body.insert(request.members.at(i),
                        request.members.at(i) == QLatin1String("cost")
                            ? QJsonValue(value.toDouble())
                            : QJsonValue(value));
        }
        return describe(
            post(QLatin1String(request.path), QJsonDocument(body).toJson(QJsonDocument::Compact)),
            false);
    }

private:
    // The cost is JSON text as it stands in the step, so that it can be of the wrong type.
    httplib::Result createOrder(const QStringList &words)
    {
        const QString sessionCode = words.value(4, words.at(2));
        QString quickPayId = QStringLiteral("qp-unknown");
        if (sessionCode != QLatin1String("nosession")) {
            const httplib::Result session
                = post(QStringLiteral("/cpqr/start_session"),
                       QStringLiteral(R"({"cpqr_payload": "%1"})").arg(sessionCode).toUtf8());
            if (session)
                quickPayId = QJsonDocument::fromJson(QByteArray::fromStdString(
                    session->body))[QLatin1String("quickpay_id")]
                                 .toString();
        }
        const QString body = QStringLiteral(R"({"cpqr_payload": "%1", "quickpay_id": "%2", )"
                                            R"("client_transaction": "%3", "cost": %4, )"
                                            R"("posId": "3", "cashierId": "17"})")
                                 .arg(words.at(2), quickPayId, words.at(1), words.at(3));
        return post(QStringLiteral("/cpqr/operation/create"), body.toUtf8());
    }
    httplib::Result
    post(const QString &path, const QByteArray &body, const char *type = "application/json")
    {
        return m_client.Post(path.toStdString(), body.toStdString(), type);
    }
    httplib::Result get(const QString &path) { return m_client.Get(path.toStdString()); }

    QJsonObject stateOrder(const QString &clientTransaction)
    {
        const QJsonArray orders = jsonOf(get(QStringLiteral("/sim/state")))["orders"].toArray();
        for (const QJsonValue &order : orders) {
            if (order[QLatin1String("client_transaction")] == clientTransaction)
                return order.toObject();
        }
        return {};
    }

    QString loggedRequests(const QString &clientTransaction)
    {
        const QJsonArray requests = jsonOf(get(QStringLiteral("/sim/state?latest=1000&order=")
                                               + clientTransaction))["requests"]
                                        .toArray();
        QStringList described;
        for (const QJsonValue &request : requests)
            described.prepend(describeLogged(request.toObject()));
        return described.join(QStringLiteral(", "));
    }

    QString bodiesOfLatest()
    {
        const QJsonValue latest = jsonOf(get(QStringLiteral("/sim/state?latest=1")))["requests"][0];
        const httplib::Result details = get(
            QStringLiteral("/sim/request?id=%1").arg(latest[QLatin1String("id")].toInteger()));
        return describeBodies(jsonOf(details).object());
    }

    httplib::Client m_client;
};

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void transcript_data();
    void transcript();
    void commandLineError_data();
    void commandLineError();
};

void TestSimulator::transcript_data()
{
    QTest::addColumn<QString>("steps"); // "REQUEST → ANSWER; ..."

    // The moved address's Location comes back whole, line break included (the client decodes it).
    QTest::newRow("refusals")
        << "session → HTTP 400 error 100; create o1 ZVQR 10 → ok; create o1 ZVQR 10 → error 130; "
           "create o2 ZVQR 10 nosession → error 120; create o2 ZVQR 10 ZVQR-B → error 121; "
           "create o2 ZVQR 0 → error 132; create o2 ZVQR 1.005 → error 132; "
           "create o2 ZVQR \"10\" → HTTP 400 error 100; "
           "post-text /cpqr/operation/create client_transaction=o2 → HTTP 400 error 100; "
           "get /cpqr/nothing → HTTP 404 error 404; "
           "get /moved/a%0D%0AX:%201 → HTTP 308 to /a\r\nX: 1 ok; status o9 → error 140; "
           "cancel o9 → error 140; "
           "return o9 r1 1 → error 140; phone o9 paid → error 140";
    // Other prefixes and words glued to the body are plain codes; the last outcome wins.
    QTest::newRow("scenario words")
        << "create o1 SOMEQR-DECLINE 10 → ok; status o1 → paid; create o2 ZVQRDECLINE 10 → ok; "
           "status o2 → paid; create o3 ZVQR42-NEVER-decline2 10 → ok; "
           "status o3 → registered; status o3 → declined";
    QTest::newRow("never decided, then cancelled")
        << "create o1 ZVQR-NEVER 10 → ok; status o1 → registered; return o1 r1 1 → error 160; "
           "cancel o1 → ok; status o1 → declined";
    QTest::newRow("returns within the paid amount, repeated harmlessly")
        << "create o1 ZVQR 100 → ok; status o1 → paid; cancel o1 → error 150; "
           "return o1 r1 60 → ok; return o1 r1 60 → ok; return o1 r2 40.01 → error 161; "
           "return o1 r3 -1 → error 132; return o1 r3 40 → ok; return o1 r4 0.01 → error 161; "
           "create o2 ZVQR 10 → ok; status o2 → paid; return o2 r1 1 → error 163";
    QTest::newRow("paid by phone, decided once")
        << "create o1 ZVQR-MANUAL 10 → ok; status o1 → registered; "
           "phone o1 expired → HTTP 400 error 100; post-text /sim/phone {} → HTTP 400 error 100; "
           "get /sim/phone → HTTP 404 error 404; status o1 → registered; phone o1 paid → ok; "
           "status o1 → paid; phone o1 declined → error 170";
    QTest::newRow("expired by hand, dated, and ended once")
        << "create o1 ZVQR-NEVER 10 → ok; order o1 → registered, undecided, till 3, cashier 17; "
           "expire o1 → ok; order o1 → expired, decided, till 3, cashier 17; "
           "status o1 → declined; expire o1 → error 170; phone o1 paid → error 170; "
           "cancel o1 → ok; order o1 → expired, decided, till 3, cashier 17; "
           "create o2 ZVQR 10 → ok; status o2 → paid; expire o2 → error 170; "
           "order o2 → paid, decided, till 3, cashier 17; "
           "create o3 ZVQR-MANUAL 10 → ok; phone o3 declined → ok; "
           "order o3 → declined, decided, till 3, cashier 17; "
           "create o4 ZVQR-NEVER 10 → ok; cancel o4 → ok; "
           "order o4 → cancelled, decided, till 3, cashier 17; expire o9 → error 140; "
           "post-text /sim/expire {\"client_transaction\":\"o4\"} → HTTP 400 error 100; "
           "post-json /sim/expire [\"o4\"] → HTTP 400 error 100";
    QTest::newRow("reset forgets the books, the armed faults and the log")
        << "create o1 ZVQR 10 → ok; fault status DROP → ok; post-text /sim/reset {} → HTTP 400 "
           "error 100; post-json /sim/reset [] → HTTP 400 error 100; post-json /sim/reset 1 → "
           "HTTP 400 error 100; order o1 → registered, undecided, till 3, cashier 17; "
           "reset → ok; status o1 → error 140; order o1 → unknown; "
           "log → POST /sim/reset 200, GET /cpqr/operation/result?client_transaction=o1 200; "
           "create o1 ZVQR 10 → ok; status o1 → paid";
    // Faults are named by the words that armed them; the state and the details are not logged.
    QTest::newRow("requests logged by order with their faults as typed")
        << "create o1 ZVQR-STATUSDROP1-SLOWSTATUS2 10 → ok; create o2 ZVQR 10 → ok; "
           "status o1 → no answer; fault status HTML → ok; status o2 → HTTP 500 ok; "
           "status o1 → paid; get /sim/state → ok; bodies → requestBody 0 bytes, answerBody "
           "72 bytes; log o1 → POST /cpqr/operation/create 200, "
           "GET /cpqr/operation/result?client_transaction=o1 no answer DROP, "
           "GET /cpqr/operation/result?client_transaction=o1 200 SLOW; "
           "log o2 → POST /cpqr/operation/create 200, "
           "GET /cpqr/operation/result?client_transaction=o2 500 HTML";
    QTest::newRow("bodies on demand, credentials masked, huge answers cut")
        << "keyed-status o9 secret-api-key-1 tok → error 140; bodies → api-key: se… (16 "
           "characters), user-token: … (3 characters), requestBody 0 bytes, answerBody 56 "
           "bytes; bodies → api-key: se… (16 characters), user-token: … (3 characters), "
           "requestBody 0 bytes, answerBody 56 bytes; session ZVQR-X → ok; bodies → requestBody 25 "
           "bytes, answerBody 139 bytes; "
           "create o1 ZVQR-STATUSHUGE 10 → ok; status o1 → no state; bodies → requestBody 0 "
           "bytes, answerBody 9437198 bytes, 65536 shown (cut); get /sim/request?id=0 → HTTP 404 "
           "error 180";
}

void TestSimulator::transcript()
{
    QFETCH(QString, steps);
    Simulator simulator;
    QVERIFY(simulator.start());
    ServiceClient client(simulator);

    for (const QString &step : steps.split(QStringLiteral("; "))) {
        const QString request = step.section(QStringLiteral(" → "), 0, 0);
        QCOMPARE(request + QStringLiteral(" → ") + client.run(request), step);
    }
}

void TestSimulator::commandLineError_data()
{
    // "%port" is a port another simulator holds, "%file" a file that holds no PEM data.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode"); // 2: the command line, 1: the simulator cannot start
    QTest::addColumn<QString>("error");
    const QString help = QStringLiteral("; see zorvik-sim --help");
    QTest::newRow("port out of range")
        << QStringList{"--listen", "127.0.0.1:99999"} << 2
        << "--listen takes HOST:PORT or PORT with a port from 0 to 65535, not '127.0.0.1:99999'"
               + help;
    QTest::newRow("unknown option")
        << QStringList{"--bogus"} << 2 << "unknown option 'bogus'" + help;
    QTest::newRow("stray argument")
        << QStringList{"8099"} << 2 << "unexpected argument '8099'" + help;
    QTest::newRow("orders that expire at once")
        << QStringList{"--order-expiry", "0"} << 2
        << "--order-expiry takes seconds above 0, not '0'" + help;
    QTest::newRow("negative slow delay")
        << QStringList{"--slow-delay", "-1"} << 2
        << "--slow-delay takes seconds, 0 or more, not '-1'" + help;
    QTest::newRow("certificate without its key") << QStringList{"--tls-cert", "cert.pem"} << 2
                                                 << "--tls-cert and --tls-key go together" + help;
    QTest::newRow("port taken") << QStringList{"--listen", "127.0.0.1:%port"} << 1
                                << "cannot listen on 127.0.0.1:%port: Address already in use";
    QTest::newRow("missing certificate")
        << QStringList{"--tls-cert", "/nonexistent/cert.pem", "--tls-key", "%file"} << 1
        << "cannot read /nonexistent/cert.pem: No such file or directory";
    QTest::newRow("missing key")
        << QStringList{"--tls-cert", "%file", "--tls-key", "/nonexistent/key.pem"} << 1
        << "cannot read /nonexistent/key.pem: No such file or directory";
    QTest::newRow("certificate file without a certificate")
        << QStringList{"--tls-cert", "%file", "--tls-key", "%file"} << 1
        << "no PEM certificate in %file";
}

// One line naming the program and the reason, and no help to push it off the screen.
void TestSimulator::commandLineError()
{
    Simulator holder;
    QVERIFY(holder.start());
    QTemporaryDir dir;
    const QString notPem = dir.filePath(QStringLiteral("not.pem"));
    QFile file(notPem);
    QVERIFY(dir.isValid() && file.open(QIODevice::WriteOnly) && file.write("not PEM\n") == 8);
    file.close();
    const auto placed = [&](QString text) {
        return text.replace(QLatin1String("%port"), QString::number(holder.port()))
            .replace(QLatin1String("%file"), notPem);
    };
    QFETCH(QStringList, arguments);
    for (QString &argument : arguments)
        argument = placed(argument);

    QProcess simulator;
    simulator.start(QStringLiteral(ZORVIK_BUILD_DIR "/zorvik-sim"), arguments);
    QVERIFY(simulator.waitForFinished(20000));
    QFETCH(QString, error);
    QCOMPARE(QString::fromUtf8(simulator.readAllStandardError()),
             QStringLiteral("zorvik-sim: %1\n").arg(placed(error)));
    QCOMPARE(simulator.readAllStandardOutput(), QByteArray());
    QFETCH(int, exitCode);
    QCOMPARE(simulator.exitCode(), exitCode);
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
