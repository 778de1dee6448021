#include "FaultMatrixBench.h"

#include "api/Constants.h"

#include "host/DBQueueBroker.h"
#include "host/Session.h"
#include "host/payment/BasicSbpProcessing.h"
#include "host/payment/PaymentProcessingContext.h"

#include <QJsonArray>
#include <QRegularExpression>

namespace {

constexpr auto Sale = PaymentProcessingRequest::Sale;
const QString ApiKey = QStringLiteral("till-key-7f3a");

zorviksim::SimulatorOptions serviceOptions()
{
    zorviksim::SimulatorOptions options;
    options.apiKey = ApiKey;
    options.slowAnswerDelay = std::chrono::seconds(4);
    return options;
}

// ".invalid" never resolves; a name longer than 255 octets does not fit in a DNS query, so the
// resolver gives up without sending one.
QString unknownHostUrl()
{
    const QString label = QString(60, QLatin1Char('n')) + QLatin1Char('.');
    return QStringLiteral("http://%1invalid/").arg(label.repeated(5));
}

} // namespace

FaultMatrixBench::FaultMatrixBench()
    : m_bench(serviceOptions())
{
    setBreakage(Breakage::None);
    m_processing = m_bench.createProcessing();
    m_bench.openStandardReceipt();
}

void FaultMatrixBench::setBreakage(Breakage breakage)
{
    QVariantMap values{{QStringLiteral("timeout"), 2}, {QStringLiteral("apiKey"), ApiKey}};
    switch (breakage) {
    case Breakage::None:
        break;
    case Breakage::ClosedPort:
        if (m_closedPort.state() == QAbstractSocket::UnconnectedState)
            m_closedPort.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress);
        values.insert(QStringLiteral("url"),
                      QStringLiteral("http://127.0.0.1:%1/").arg(m_closedPort.localPort()));
        break;
    case Breakage::UnknownHost:
        values.insert(QStringLiteral("url"), unknownHostUrl());
        break;
    case Breakage::WrongApiKey:
        values.insert(QStringLiteral("apiKey"), QStringLiteral("stale-key"));
        break;
    case Breakage::MovedAddress:
        values.insert(QStringLiteral("url"), QString(m_bench.simulator().baseUrl() + "moved/"));
        break;
    case Breakage::NoScheme:
        values.insert(QStringLiteral("url"), QStringLiteral("cpqr.example"));
        break;
    }
    m_bench.configure(values);
    if (m_processing)
        m_processing->init(PaymentProcessingContext());
}

bool FaultMatrixBench::scan(const QString &code)
{
    const CpqrCheckResult check = m_processing->processCpqr(code);
    const QSharedPointer<AbstractDocument> document = Singleton<Session>::instance->getDocument();
    for (const QString &card : check.cardNumbers)
        document->addCard(card);
    return check.accepted;
}

PaymentProcessingResult FaultMatrixBench::pay(const QString &code)
{
    return m_processing->payment(PluginTestBench::request(Sale, Amount, code));
}

PaymentProcessingResult FaultMatrixBench::cancel(const QString &operationId, qint64 amount)
{
    return m_processing->cancel(PluginTestBench::request(Sale, amount, QString(), operationId));
}

void FaultMatrixBench::deferCancel(const QString &operationId, qint64 amount)
{
    m_processing->cancelPaymentByQRCodeInQueue(
        PluginTestBench::request(Sale, amount, QString(), operationId));
}

void FaultMatrixBench::runQueue(int rounds)
{
    for (int round = 0; round < rounds && !queued().isEmpty(); ++round)
        m_bench.runQueue(m_processing);
}

QList<QueuedMessage> FaultMatrixBench::queued() const
{
    return Singleton<DBQueueBroker>::instance->messages(zorvikcpqr::Constants::CancelQueue);
}

QString FaultMatrixBench::problems() const
{
    const QRegularExpression problem(QStringLiteral("^(WARN|ERROR) "));
    return m_bench.logLines().filter(problem).join(QLatin1String("; "));
}

QString FaultMatrixBench::recover()
{
    setBreakage(Breakage::None);
    runQueue(2);
    QStringList books{settledOrders(), received()};
    if (!queued().isEmpty())
        books.append(QStringLiteral("%1 left in the queue").arg(queued().size()));
    return books.join(QLatin1String(" | "));
}

// "start_session N, create N, ..." for each endpoint the service was asked at.
QString FaultMatrixBench::received() const
{
    QStringList counts;
    for (const char *endpoint : {"start_session", "create", "result", "return", "cancel"}) {
        const QString name = QLatin1String(endpoint);
        const QString path = name == QLatin1String("start_session") ? name : "operation/" + name;
        if (const qsizetype count = m_bench.requests(QStringLiteral("/cpqr/") + path).size())
            counts.append(QStringLiteral("%1 %2").arg(name).arg(count));
    }
    return counts.join(QLatin1String(", "));
}

QString FaultMatrixBench::settledOrders()
{
    QStringList settled;
    for (const QJsonValue &value : m_bench.orders()) {
        const double cost = value[QStringLiteral("cost")].toDouble();
        const double returned = value[QStringLiteral("returned")].toDouble();
        QString state = value[QStringLiteral("state")].toString();
        if (returned == cost)
            state += QStringLiteral("+returned");
        else if (returned > 0)
            state += QStringLiteral("+returned %1").arg(returned, 0, 'f', 2);
        settled.append(state);
    }
    return settled.isEmpty() ? QStringLiteral("none") : settled.join(QStringLiteral(", "));
}
