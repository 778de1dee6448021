// The simulated service's own rules over real HTTP, as transcripts of requests and answers;
// the plug-in against the service is the subject of tests/processing and tests/reliability.

#include "sim/Simulator.h"

#include <httplib.h>

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using zorviksim::Simulator;

namespace {

// "error N" for the service's error envelope (after "HTTP S" when not 200), else the order's
// state for a status request and "ok" for the other requests.
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
    if (!orderState)
        return http + QStringLiteral("ok");
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
    {QStringLiteral("phone"), {"/sim/phone", {"client_transaction", "state"}}}};

// The client side of the exchanges, one step of a transcript at a time.
class ServiceClient
{
public:
    explicit ServiceClient(const Simulator &simulator)
        : m_client(simulator.baseUrl().chopped(1).toStdString())
    {}

    // "session CODE", "create ID CODE COST [SESSION_CODE|nosession]", "status ID",
    // "cancel ID", "return ID REFUND_ID COST", "phone ID STATE", "get PATH", "post-text PATH BODY".
    QString run(const QString &step)
    {
        const QStringList words = step.split(QLatin1Char(' '));
        const QString command = words.at(0);
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
    QTest::newRow("option without its value")
        << QStringList{"--listen"} << 2 << "missing value after '--listen'" + help;
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
