#include "PluginTestBench.h"

#include "api/Constants.h"

#include "host/DBQueueBroker.h"
#include "host/HostPaths.h"
#include "host/ReceiptFile.h"
#include "host/Session.h"
#include "host/log4qt/LogManager.h"
#include "host/payment/AbstractProcessingFactory.h"
#include "host/payment/BasicSbpProcessing.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

PluginTestBench::PluginTestBench(const zorviksim::SimulatorOptions &options)
    : m_simulator(std::make_unique<zorviksim::Simulator>(options))
    , m_loader(pluginPath())
{
    QVERIFY(m_dir.isValid());
    QVERIFY(m_simulator->start());
    HostPaths::setOverride(zorvikcpqr::Constants::ConfigPath,
                           m_dir.filePath(QStringLiteral("zorvikcpqr.ini")));
    delete Singleton<DBQueueBroker>::instance;
    Singleton<DBQueueBroker>::instance
        = new DBQueueBroker(m_dir.filePath(QStringLiteral("queue.sqlite")));
    delete Singleton<Session>::instance;
    Singleton<Session>::instance = new Session;
    Log4Qt::LogManager::setThreshold(Log4Qt::Level::Debug);
    Log4Qt::LogManager::addAppender(&m_log);
    configure();
}

PluginTestBench::~PluginTestBench()
{
    qDeleteAll(m_processings);
    Log4Qt::LogManager::removeAppender(&m_log);
    delete Singleton<DBQueueBroker>::instance;
    Singleton<DBQueueBroker>::instance = nullptr;
    HostPaths::clearOverrides();
}

QString PluginTestBench::pluginPath()
{
    return QStringLiteral(ZORVIK_BUILD_DIR "/libzorvikcpqr.so");
}

PaymentProcessingRequest PluginTestBench::request(PaymentProcessingRequest::Type type,
                                                  qint64 amount,
                                                  const QString &paymentCode,
                                                  const QString &operationId)
{
    PaymentProcessingRequest request;
    request.type = type;
    request.amount = amount;
    request.paymentCode = paymentCode;
    request.operationId = operationId;
    request.valutCode = 643;
    return request;
}

void PluginTestBench::configure(const QVariantMap &settings)
{
    QVariantMap values{{QStringLiteral("url"), m_simulator->baseUrl()},
                       {QStringLiteral("statusRequestInterval"), 0},
                       {QStringLiteral("statusRequestDelay"), 0}};
    values.insert(settings);
    QFile file(m_dir.filePath(QStringLiteral("zorvikcpqr.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[zorvikcpqr]\n");
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!it.value().isValid())
            continue;
        file.write(QStringLiteral("%1=%2\n").arg(it.key(), it.value().toString()).toUtf8());
    }
}

BasicSbpProcessing *PluginTestBench::createProcessing()
{
    auto *factory = qobject_cast<AbstractProcessingFactory *>(m_loader.instance());
    if (!factory)
        qFatal("cannot load %s: %s", qPrintable(pluginPath()), qPrintable(m_loader.errorString()));
    auto *processing = dynamic_cast<BasicSbpProcessing *>(factory->createProcessing());
    processing->init(PaymentProcessingContext());
    m_processings.append(processing);
    return processing;
}

void PluginTestBench::openReceipt(const QByteArray &receiptJson)
{
    QString error;
    QVERIFY2(ReceiptFile::parse(
                 receiptJson, QStringLiteral("test receipt"), Singleton<Session>::instance, &error),
             qPrintable(error));
}

void PluginTestBench::openReceipt(const QList<QPair<QString, double>> &positions,
                                  const QStringList &cards)
{
    QJsonArray items;
    for (const auto &[name, sum] : positions) {
        items.append(
            QJsonObject{{QStringLiteral("barcode"), QStringLiteral("46%1").arg(items.size())},
                        {QStringLiteral("posnum"), items.size() + 1},
                        {QStringLiteral("name"), name},
                        {QStringLiteral("quantity"), 1},
                        {QStringLiteral("sum"), sum}});
    }
    const QJsonObject receipt{{QStringLiteral("shopCode"), 12},
                              {QStringLiteral("cashCode"), 3},
                              {QStringLiteral("posId"), QStringLiteral("0003")},
                              {QStringLiteral("cashierId"), 42},
                              {QStringLiteral("positions"), items},
                              {QStringLiteral("cards"), QJsonArray::fromStringList(cards)}};
    openReceipt(QJsonDocument(receipt).toJson());
}

QJsonArray PluginTestBench::orders()
{
    return m_simulator->state().value(QStringLiteral("orders")).toArray();
}

QJsonObject PluginTestBench::order(const QString &clientTransaction)
{
    for (const QJsonValue &order : orders()) {
        if (order[QStringLiteral("client_transaction")] == clientTransaction)
            return order.toObject();
    }
    return {};
}

QList<zorviksim::ReceivedRequest> PluginTestBench::requests(const QString &path) const
{
    QList<zorviksim::ReceivedRequest> matching;
    for (const zorviksim::ReceivedRequest &request : m_simulator->receivedRequests()) {
        if (request.path == path)
            matching.append(request);
    }
    return matching;
}

int PluginTestBench::runQueue(BasicSbpProcessing *processing)
{
    return Singleton<DBQueueBroker>::instance
        ->deliver(
            zorvikcpqr::Constants::CancelQueue,
            [processing](const QVariantMap &message) {
                return processing->sendEnqueuedMessage(message);
            },
            DBQueueBroker::Scope::All)
        .delivered;
}

int PluginTestBench::queuedMessages() const
{
    return Singleton<DBQueueBroker>::instance->messages(zorvikcpqr::Constants::CancelQueue).size();
}

QStringList PluginTestBench::logLines() const
{
    QStringList lines;
    for (const Log4Qt::LoggingEvent &event : m_log.events()) {
        if (event.loggerName.endsWith(QLatin1String("zorvikcpqr")))
            lines.append(Log4Qt::Level::name(event.level) + QLatin1Char(' ') + event.message);
    }
    return lines;
}
