/*
 * zorvik-sim: the Zorvik payment service simulator as a stand-alone process.
 *
 * Watching an order go from registered to paid by hand (port 8099 as an example):
 *
 *   zorvik-sim --listen 127.0.0.1:8099 &
 *   sleep 1
 *   curl -s -X POST http://127.0.0.1:8099/cpqr/start_session \
 *        -H 'Content-Type: application/json' -d '{"cpqr_payload": "ZVQR-PAY2"}'
 *   # the "quickpay_id" of the answer, the same on every run for this code:
 *   QP=qp-14a3d418-55bc-570e-94ee-feb56d0bba9c
 *   curl -s -X POST http://127.0.0.1:8099/cpqr/operation/create \
 *        -H 'Content-Type: application/json' \
 *        -d '{"cpqr_payload": "ZVQR-PAY2", "quickpay_id": "'$QP'", "client_transaction": "demo-1",
 *             "cost": 150.5, "posId": "1", "cashierId": "7",
 *             "cart": {"items": [{"productId": "4600001_1", "quantity": {"count": 1.5},
 *                                 "title": "Сыр", "cost": 150.5, "unit_price": 100.33}]}}'
 *   curl -s 'http://127.0.0.1:8099/cpqr/operation/result?client_transaction=demo-1'
 *   # {"client_transaction":"demo-1","status":0}
 *   curl -s 'http://127.0.0.1:8099/cpqr/operation/result?client_transaction=demo-1'
 *   # {"cart":{"items":[{..."unit_price":"100.33"}]},
 *   #  "client_transaction":"demo-1","result":true,"status":1}
 *   curl -s http://127.0.0.1:8099/sim/state
 *   kill %1
 */

#include "sim/ErrorCode.h"
#include "sim/ScenarioParser.h"
#include "sim/Simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <csignal>
#include <optional>
#include <pthread.h>

namespace {

constexpr int CannotStart = 1;
constexpr int UsageError = 2;

struct ListenAddress
{
    QString host;
    quint16 port = 0;
};

// "HOST:PORT", "[IPv6]:PORT" or a bare "PORT" on the loopback interface.
std::optional<ListenAddress> parseListenAddress(const QString &text)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    ListenAddress address{QStringLiteral("127.0.0.1"), 0};
    if (colon >= 0) {
        address.host = text.left(colon);
        if (address.host.startsWith(QLatin1Char('[')) && address.host.endsWith(QLatin1Char(']')))
            address.host = address.host.mid(1, address.host.size() - 2);
    }
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (!ok || port > 65535 || address.host.isEmpty())
        return std::nullopt;
    address.port = static_cast<quint16>(port);
    return address;
}

std::optional<std::chrono::milliseconds> parseSeconds(const QString &text, double smallest)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !(seconds >= smallest) || seconds > 86400.0 * 365)
        return std::nullopt;
    return std::chrono::milliseconds(qRound64(seconds * 1000.0));
}

// One line, so that it does not scroll away behind the help.
int fail(int exitCode, const QString &message)
{
    QTextStream(stderr) << "zorvik-sim: " << message << '\n';
    return exitCode;
}

int usageError(const QString &message)
{
    return fail(UsageError, message + QStringLiteral("; see zorvik-sim --help"));
}

// Qt's "Unknown option 'x'." in the form of the tool's own errors.
QString parserError(const QCommandLineParser &parser)
{
    QString text = parser.errorText();
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text.isEmpty() ? text : text.at(0).toLower() + text.mid(1);
}

QString sandboxHelp()
{
    return QStringLiteral(
        "The sandbox, without credentials:\n"
        "  GET  /                 the page: sessions, orders, returns and the latest requests,\n"
        "                         updating by itself; Pay and Decline act as the customer's\n"
        "                         phone, and a fault can be chosen for the next answer of a stage\n"
        "  GET  /sim/state        sessions, orders and returns as JSON; ?latest=N only the\n"
        "                         latest N of each, with the latest N requests (&order=ID: only\n"
        "                         that order's)\n"
        "  GET  /sim/request      ?id=N: one request of the log with its headers and bodies\n"
        "                         (api-key and user-token masked)\n"
        "  POST /sim/phone        {\"client_transaction\": ID, \"state\": \"paid\" or "
        "\"declined\"}\n"
        "                         decides an order waiting for payment\n"
        "  POST /sim/expire       {\"client_transaction\": ID} expires an order waiting for\n"
        "                         payment now\n"
        "  POST /sim/reset        {} forgets every session, order, return, armed fault and\n"
        "                         logged request\n"
        "  POST /sim/fault        {\"stage\": \"order\", \"status\" or \"return\", \"fault\": "
        "WORD}\n"
        "                         spoils the next answer of the stage with a FAULT word below;\n"
        "                         \"fault\": \"\" takes it back\n"
        "The POST endpoints take a JSON object as application/json; they answer with what they\n"
        "did, or with the error envelope and nothing changed.\n"
        "A service that moved: every request under /moved/ is answered with HTTP 308 to the\n"
        "same path without the prefix and reaches nothing (url=http://HOST:PORT/moved/).\n\n");
}

QString exitStatusHelp()
{
    return QStringLiteral(
        "\nExit status: 0 once stopped by SIGINT or SIGTERM, 1 when it cannot start (the address\n"
        "is taken or cannot be bound, the TLS files cannot be used), 2 for a bad command line.\n");
}

void ignoreSignal(int) {}

// Blocked before any thread starts, so that every thread inherits the mask and the signals
// wait for sigwait() in the main thread. A shell starts background jobs with SIGINT ignored,
// which would discard it; a handler of our own keeps it deliverable.
sigset_t blockTerminationSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    for (const int number : {SIGINT, SIGTERM}) {
        std::signal(number, ignoreSignal);
        sigaddset(&signals, number);
    }
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zorvik-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulator of the Zorvik payment service for development and tests.\n"
                       "Runs until SIGINT or SIGTERM.\n\n")
        + sandboxHelp() + zorviksim::ScenarioParser::grammar()
        + QStringLiteral("\nError envelope {\"codeError\": code, \"error\": message}, HTTP 200 "
                         "unless noted:\n")
        + zorviksim::describeErrorCodes() + exitStatusHelp());
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Shows this help."));
    const QCommandLineOption listenOption(
        QStringLiteral("listen"),
        QStringLiteral("Address to listen on: HOST:PORT, or PORT on 127.0.0.1. Port 0 picks a "
                       "free port. Default 127.0.0.1:0."),
        QStringLiteral("address"),
        QStringLiteral("127.0.0.1:0"));
    const QCommandLineOption apiKeyOption(
        QStringLiteral("api-key"),
        QStringLiteral("Refuse requests whose \"api-key\" header differs (HTTP 401)."),
        QStringLiteral("key"));
    const QCommandLineOption userTokenOption(
        QStringLiteral("user-token"),
        QStringLiteral("Refuse requests whose \"user-token\" header differs (HTTP 401)."),
        QStringLiteral("token"));
    const QCommandLineOption expiryOption(
        QStringLiteral("order-expiry"),
        QStringLiteral("Seconds after which an unpaid order is declined as expired. Default 60."),
        QStringLiteral("seconds"),
        QStringLiteral("60"));
    const QCommandLineOption slowDelayOption(
        QStringLiteral("slow-delay"),
        QStringLiteral("Seconds by which the SLOW scenario words delay an answer. Default 3."),
        QStringLiteral("seconds"),
        QStringLiteral("3"));
    const QCommandLineOption manualOption(
        QStringLiteral("manual"),
        QStringLiteral("Every order waits for the customer's phone (Pay or Decline on the page, "
                       "or POST /sim/phone), as the word MANUAL asks for one code."));
    const QCommandLineOption tlsCertificateOption(
        QStringLiteral("tls-cert"),
        QStringLiteral("Serve HTTPS with this certificate chain (PEM file); needs --tls-key."),
        QStringLiteral("file"));
    const QCommandLineOption tlsKeyOption(
        QStringLiteral("tls-key"),
        QStringLiteral("The private key of --tls-cert (PEM file)."),
        QStringLiteral("file"));
    parser.addOptions({helpOption,
                       listenOption,
                       apiKeyOption,
                       userTokenOption,
                       expiryOption,
                       slowDelayOption,
                       manualOption,
                       tlsCertificateOption,
                       tlsKeyOption});

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parserError(parser));
    if (parser.isSet(helpOption)) {
        QTextStream(stdout) << parser.helpText();
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return usageError(QStringLiteral("unexpected argument '%1'")
                              .arg(parser.positionalArguments().constFirst()));
    }
    const QString listen = parser.value(listenOption);
    const std::optional<ListenAddress> address = parseListenAddress(listen);
    if (!address) {
        return usageError(
            QStringLiteral("--listen takes HOST:PORT or PORT with a port from 0 to 65535, not '%1'")
                .arg(listen));
    }
    const auto expiry = parseSeconds(parser.value(expiryOption), 0.001);
    if (!expiry) {
        return usageError(QStringLiteral("--order-expiry takes seconds above 0, not '%1'")
                              .arg(parser.value(expiryOption)));
    }
    const auto slowDelay = parseSeconds(parser.value(slowDelayOption), 0.0);
    if (!slowDelay) {
        return usageError(QStringLiteral("--slow-delay takes seconds, 0 or more, not '%1'")
                              .arg(parser.value(slowDelayOption)));
    }

    if (parser.isSet(tlsCertificateOption) != parser.isSet(tlsKeyOption))
        return usageError(QStringLiteral("--tls-cert and --tls-key go together"));

    zorviksim::SimulatorOptions options;
    options.tlsCertificateFile = parser.value(tlsCertificateOption);
    options.tlsPrivateKeyFile = parser.value(tlsKeyOption);
    options.apiKey = parser.value(apiKeyOption);
    options.userToken = parser.value(userTokenOption);
    options.orderExpiry = *expiry;
    options.slowAnswerDelay = *slowDelay;
    options.manual = parser.isSet(manualOption);

    const sigset_t terminationSignals = blockTerminationSignals();
    zorviksim::Simulator simulator(options);
    if (!simulator.start(address->host, address->port))
        return fail(CannotStart, simulator.errorString());
    QTextStream(stdout) << "listening on " << simulator.baseUrl() << Qt::endl;

    int received = 0;
    sigwait(&terminationSignals, &received);
    simulator.stop();
    return 0;
}
