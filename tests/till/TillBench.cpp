#include "TillBench.h"

#include <QFile>
#include <QJsonDocument>

namespace {

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

TillBench::TillBench(const zorviksim::SimulatorOptions &options)
    : m_service(options)
{}

bool TillBench::start()
{
    return m_dir.isValid() && m_service.start()
           && writeFile(path(QStringLiteral("zorvikcpqr.ini")),
                        QStringLiteral("[zorvikcpqr]\nurl=%1\nstatusRequestInterval=1\n"
                                       "statusRequestDelay=0\n")
                            .arg(m_service.baseUrl())
                            .toUtf8())
           && writeFile(path(QStringLiteral("receipt.json")),
                        R"({"shopCode": 12, "cashCode": 3, "posId": "0003", "cashierId": 42,
                            "positions": [{"barcode": "4601234567890", "posnum": 1,
                                           "name": "Сыр", "quantity": 1, "sum": 150.5}]})");
}

void TillBench::startTill(QProcess &till, const QString &queue, const QStringList &command) const
{
    QStringList arguments{QStringLiteral("--json"), QStringLiteral("--queue"), path(queue)};
    for (const auto &[option, file] : {std::pair("--config", "zorvikcpqr.ini"),
                                       std::pair("--receipt", "receipt.json"),
                                       std::pair("--log", "till.log")})
        arguments << QLatin1String(option) << path(QLatin1String(file));
    till.start(QStringLiteral(ZORVIK_BUILD_DIR "/zorvik-till"), arguments + command);
}

TillRun
TillBench::run(const QString &queue, const QStringList &command, const QByteArray &input) const
{
    QProcess till;
    startTill(till, queue, command);
    till.write(input);
    till.closeWriteChannel();
    TillRun run;
    if (!till.waitForFinished(60000))
        return run;
    run.exitCode = till.exitCode();
    run.errors = QString::fromUtf8(till.readAllStandardError());
    for (const QByteArray &line : till.readAllStandardOutput().split('\n'))
        if (!line.isEmpty())
            run.results.append(QJsonDocument::fromJson(line).object());
    return run;
}

QJsonArray TillBench::queueList(const QString &queue) const
{
    return run(queue, {QStringLiteral("queue"), QStringLiteral("list")})
        .results.value(0)
        .value(QStringLiteral("messages"))
        .toArray();
}

QJsonArray TillBench::orders()
{
    return m_service.state().value(QStringLiteral("orders")).toArray();
}

QJsonObject TillBench::order(const QString &clientTransaction)
{
    for (const QJsonValue &order : orders())
        if (order[QStringLiteral("client_transaction")] == clientTransaction)
            return order.toObject();
    return {};
}

QList<QJsonObject> TillBench::returnRequests(const QString &clientTransaction) const
{
    QList<QJsonObject> bodies;
    for (const zorviksim::ReceivedRequest &request : m_service.receivedRequests()) {
        const QJsonObject body = request.json();
        if (request.path == QLatin1String("/cpqr/operation/return")
            && body.value(QStringLiteral("client_transaction")) == clientTransaction)
            bodies.append(body);
    }
    return bodies;
}
