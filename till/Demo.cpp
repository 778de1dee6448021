#include "till/Demo.h"

#include "till/HumanPrinter.h"
#include "till/Till.h"

#include "sim/Simulator.h"

#include "host/ReceiptFile.h"
#include "host/Session.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

namespace {

const char *const Green = "32";
const char *const Red = "31";
const char *const Bold = "1";

constexpr auto OrderExpiry = std::chrono::seconds(3);

const QByteArray WholeReceipt = R"({"shopCode": 12, "cashCode": 3, "posId": "0003", "cashierId": 42,
    "positions": [
        {"barcode": "4601234567890", "posnum": 1, "name": "Молоко 1 л", "quantity": 1.5, "sum": 100.0},
        {"barcode": "4607000000012", "posnum": 2, "name": "Хлеб", "quantity": 1, "sum": 50.5}]})";
const QByteArray BreadReturnReceipt
    = R"({"shopCode": 12, "cashCode": 3, "posId": "0003", "cashierId": 42,
    "positions": [
        {"barcode": "4607000000012", "posnum": 2, "name": "Хлеб", "quantity": 1, "sum": 50.5}]})";

QString messageId(const QJsonObject &result)
{
    return result.value(QStringLiteral("message"))[QStringLiteral("id")].toString();
}

// A payment-form result with that status and, when given, that operator text id.
auto paymentEnds(int status, const QString &id = QString())
{
    return [status, id](const QJsonObject &result) {
        const int actual = result.value(QStringLiteral("status")).toInt(-1);
        if (actual != status)
            return QStringLiteral("status %1 instead of %2").arg(actual).arg(status);
        if (!id.isEmpty() && messageId(result) != id)
            return QStringLiteral("text %1 instead of %2").arg(messageId(result), id);
        return QString();
    };
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

Demo::Demo(const TillOptions &options)
    : m_options(options)
    , m_out(stdout)
    , m_colours(isatty(STDOUT_FILENO))
{}

int Demo::run()
{
    zorviksim::SimulatorOptions serviceOptions;
    serviceOptions.orderExpiry = OrderExpiry;
    zorviksim::Simulator service(serviceOptions);
    QTemporaryDir dir;
    if (!dir.isValid() || !service.start()) {
        m_out << "demo: cannot start the simulator\n";
        return 1;
    }

    TillOptions options = m_options;
    options.configPath = dir.filePath(QStringLiteral("zorvikcpqr.ini"));
    options.queuePath = dir.filePath(QStringLiteral("queue.sqlite"));
    options.receiptPath = dir.filePath(QStringLiteral("receipt.json"));
    if (options.logPath.isEmpty())
        options.logPath = QDir::temp().filePath(QStringLiteral("zorvik-demo.log"));
    QFile::remove(options.logPath);
    const QByteArray config = QStringLiteral("[zorvikcpqr]\nurl=%1\nstatusRequestInterval=1\n"
                                             "statusRequestDelay=0\n")
                                  .arg(service.baseUrl())
                                  .toUtf8();
    if (!writeFile(options.configPath, config) || !writeFile(options.receiptPath, WholeReceipt)) {
        m_out << "demo: cannot write its files in " << dir.path() << '\n';
        return 1;
    }

    Till till(options);
    QString errorMessage;
    if (!till.setUp(&errorMessage)) {
        m_out << "demo: " << errorMessage << '\n';
        return 1;
    }
    m_out << colour(QStringLiteral("Zorvik CPQR payment plug-in: a cashier's day"), Bold) << '\n'
          << "service simulator at " << service.baseUrl() << ", log in " << options.logPath << "\n";

    step(till,
         QStringLiteral("The customer shows a payment code"),
         {QStringLiteral("scan"), QStringLiteral("ZVQR-LOYALTY")},
         [](const QJsonObject &result) {
             return result.value(QStringLiteral("accepted")).toBool()
                        ? QString()
                        : QStringLiteral("not accepted");
         });
    const QString firstOrder = step(till,
                                    QStringLiteral("Pay the whole receipt, 150.50, item by item"),
                                    {QStringLiteral("pay"), QStringLiteral("15050")},
                                    paymentEnds(0))
                                   .value(QStringLiteral("operationId"))
                                   .toString();
    const QString secondOrder
        = step(till,
               QStringLiteral("Pay 50.00 of the next receipt with another code"),
               {QStringLiteral("pay"), QStringLiteral("5000"), QStringLiteral("ZVQR-PAY2")},
               paymentEnds(0))
              .value(QStringLiteral("operationId"))
              .toString();

    openReceipt(BreadReturnReceipt);
    step(till,
         QStringLiteral("The bread comes back: refund 50.50 of the first payment"),
         {QStringLiteral("refund"), firstOrder, QStringLiteral("5050")},
         paymentEnds(0));
    step(till,
         QStringLiteral("Refund the whole second payment"),
         {QStringLiteral("refund"), secondOrder, QStringLiteral("5000")},
         paymentEnds(0));
    openReceipt(WholeReceipt);

    step(till,
         QStringLiteral("The customer's bank declines a payment"),
         {QStringLiteral("pay"), QStringLiteral("15050"), QStringLiteral("ZVQR-DECLINE")},
         paymentEnds(1, QStringLiteral("zorvikCpqrPaymentDeclined")));
    step(till,
         QStringLiteral("The service refuses a code"),
         {QStringLiteral("pay"), QStringLiteral("15050"), QStringLiteral("ZVQR-SESSIONERR")},
         paymentEnds(1, QStringLiteral("zorvikCpqrError110")));
    till.setInterruptAfter(1.5);
    const QString interruptedOrder
        = step(till,
               QStringLiteral("The cashier interrupts a waiting payment"),
               {QStringLiteral("pay"), QStringLiteral("15050"), QStringLiteral("ZVQR-NEVER")},
               paymentEnds(2))
              .value(QStringLiteral("operationId"))
              .toString();
    till.setInterruptAfter(-1);
    step(till,
         QStringLiteral("A status answer is lost on the way"),
         {QStringLiteral("pay"), QStringLiteral("15050"), QStringLiteral("ZVQR-DROPSTATUS1")},
         paymentEnds(1));
    step(till,
         QStringLiteral("The host queue holds both abandoned orders"),
         {QStringLiteral("queue"), QStringLiteral("list")},
         [](const QJsonObject &result) {
             const int queued = result.value(QStringLiteral("messages")).toArray().size();
             return queued == 2 ? QString()
                                : QStringLiteral("%1 messages instead of 2").arg(queued);
         });

    m_out << "\n(the service gives an unpaid order up after " << OrderExpiry.count() << " s)\n";
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 2 * 1000 * OrderExpiry.count()) {
        const QJsonObject state = service.state();
        bool open = false;
        for (const QJsonValue &order : state.value(QStringLiteral("orders")).toArray())
            open |= order[QStringLiteral("client_transaction")] == interruptedOrder
                    && order[QStringLiteral("state")] == QLatin1String("registered");
        if (!open)
            break;
        QThread::msleep(200);
    }
    step(till,
         QStringLiteral("The queue carries out the cancellations"),
         {QStringLiteral("queue"), QStringLiteral("run")},
         [](const QJsonObject &result) {
             const int delivered = result.value(QStringLiteral("delivered")).toInt();
             return delivered == 2 ? QString()
                                   : QStringLiteral("%1 delivered instead of 2").arg(delivered);
         });

    const bool allClosed = printOrders(service.state());
    const bool success = m_failures == 0 && allClosed;
    m_out << '\n'
          << (success ? colour(
                  QStringLiteral("Every step ended as expected; no order is left open."), Green)
                      : colour(QStringLiteral("%1 of %2 steps ended otherwise than expected.")
                                   .arg(m_failures)
                                   .arg(m_steps),
                               Red))
          << '\n';
    m_out.flush();
    return success ? 0 : 1;
}

QJsonObject Demo::step(Till &till,
                       const QString &title,
                       const QStringList &command,
                       const Expectation &expected)
{
    m_out << '\n'
          << colour(QStringLiteral("%1. %2").arg(++m_steps).arg(title), Bold) << '\n'
          << "   $ zorvik-till " << command.join(QLatin1Char(' ')) << '\n';
    m_out.flush();
    const std::optional<QJsonObject> result = till.execute(command);
    const QString problem = result ? expected(*result) : QStringLiteral("the command failed");
    if (result) {
        for (const QString &line :
             HumanPrinter::format(*result).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            m_out << "   " << line << '\n';
    }
    if (problem.isEmpty()) {
        m_out << "   " << colour(QStringLiteral("as expected"), Green) << '\n';
    } else {
        ++m_failures;
        m_out << "   " << colour(QStringLiteral("UNEXPECTED: ") + problem, Red) << '\n';
    }
    m_out.flush();
    return result.value_or(QJsonObject());
}

void Demo::openReceipt(const QByteArray &receipt)
{
    QString errorMessage;
    if (!ReceiptFile::parse(
            receipt, QStringLiteral("demo receipt"), Singleton<Session>::instance, &errorMessage))
        m_out << "demo: " << errorMessage << '\n';
}

bool Demo::printOrders(const QJsonObject &state)
{
    m_out << '\n' << colour(QStringLiteral("Orders as the service holds them"), Bold) << '\n';
    m_out << QStringLiteral("   %1  %2 %3 %4\n")
                 .arg(QStringLiteral("order"), -36)
                 .arg(QStringLiteral("state"), -10)
                 .arg(QStringLiteral("amount"), 9)
                 .arg(QStringLiteral("returned"), 9);
    bool allClosed = true;
    for (const QJsonValue &value : state.value(QStringLiteral("orders")).toArray()) {
        const QJsonObject order = value.toObject();
        const QString orderState = order.value(QStringLiteral("state")).toString();
        allClosed &= orderState != QLatin1String("registered");
        m_out << QStringLiteral("   %1  %2 %3 %4\n")
                     .arg(order.value(QStringLiteral("client_transaction")).toString(), -36)
                     .arg(orderState, -10)
                     .arg(order.value(QStringLiteral("cost")).toDouble(), 9, 'f', 2)
                     .arg(order.value(QStringLiteral("returned")).toDouble(), 9, 'f', 2);
    }
    return allClosed;
}

QString Demo::colour(const QString &text, const char *code) const
{
    return m_colours ? QStringLiteral("\033[%1m%2\033[0m").arg(QLatin1String(code), text) : text;
}
