#include "PluginTestBench.h"

#include "api/Constants.h"
#include "api/Interface.h"
#include "processing/Waiter.h"

#include "host/BcodeParser.h"
#include "host/DBQueueBroker.h"
#include "host/HostPaths.h"
#include "host/ReceiptFile.h"
#include "host/Session.h"
#include "host/log4qt/LogManager.h"
#include "host/payment/AbstractProcessingFactory.h"
#include "host/payment/BasicSbpProcessing.h"

#include <QFile>
#include <QJsonDocument>

namespace {

const QString PauseLogger = QStringLiteral("pause");

void require(bool condition, const QString &what)
{
    if (!condition)
        qFatal("test bench: %s", qPrintable(what));
}

} // namespace

// Notes each pause of a payment in the bench's log instead of sleeping, and plays the cashier.
class PauseRecorder : public zorvikcpqr::Waiter
{
public:
    void sleepSeconds(qint64 seconds) override { note(QStringLiteral("%1 s").arg(seconds)); }
    void sleepStep() override
    {
        note(QStringLiteral("%1 ms").arg(StepMs));
        if (++steps == interruptAtStep)
            cashier->interruptPayment();
    }
    void note(const QString &pause) { log->append({{}, Log4Qt::Level::Info, PauseLogger, pause}); }

    Log4Qt::MemoryAppender *log = nullptr;
    BasicSbpProcessing *cashier = nullptr;
    int interruptAtStep = 0;
    int steps = 0;
};

PluginTestBench::PluginTestBench(const zorviksim::SimulatorOptions &options)
    : m_simulator(std::make_unique<zorviksim::Simulator>(options))
    , m_loader(pluginPath())
{
    require(m_dir.isValid(), QStringLiteral("no temporary folder"));
    require(m_simulator->start(), QStringLiteral("the simulator does not start"));
    HostPaths::setOverride(zorvikcpqr::Constants::ConfigPath,
                           m_dir.filePath(QStringLiteral("zorvikcpqr.ini")));
    delete Singleton<DBQueueBroker>::instance;
    Singleton<DBQueueBroker>::instance
        = new DBQueueBroker(m_dir.filePath(QStringLiteral("queue.sqlite")));
    delete Singleton<Session>::instance;
    Singleton<Session>::instance = new Session;
    delete Singleton<BcodeParser>::instance;
    Singleton<BcodeParser>::instance = new BcodeParser;
    Log4Qt::LogManager::setThreshold(Log4Qt::Level::Debug);
    Log4Qt::LogManager::addAppender(&m_log);
    configure();
}

PluginTestBench::~PluginTestBench()
{
    qDeleteAll(m_processings);
    MockFactory<zorvikcpqr::Waiter>::clearSubstitute();
    MockFactory<zorvikcpqr::Interface>::clearSubstitute();
    Log4Qt::LogManager::removeAppender(&m_log);
    delete Singleton<DBQueueBroker>::instance;
    Singleton<DBQueueBroker>::instance = nullptr;
    HostPaths::clearOverrides();
}

void PluginTestBench::configure(const QVariantMap &settings)
{
    QVariantMap values{{QStringLiteral("url"), m_simulator->baseUrl()},
                       {QStringLiteral("statusRequestInterval"), 0},
                       {QStringLiteral("statusRequestDelay"), 0},
                       {zorvikcpqr::Constants::JournalFileKey, journalPath()}};
    values.insert(settings);
    QFile file(m_dir.filePath(QStringLiteral("zorvikcpqr.ini")));
    require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), file.errorString());
    file.write("[zorvikcpqr]\n");
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!it.value().isValid())
            continue;
        file.write(QStringLiteral("%1=%2\n").arg(it.key(), it.value().toString()).toUtf8());
    }
}

QString PluginTestBench::journalPath() const
{
    return m_dir.filePath(zorvikcpqr::Constants::JournalFileName);
}

BasicSbpProcessing *PluginTestBench::createProcessing()
{
    auto *factory = qobject_cast<AbstractProcessingFactory *>(m_loader.instance());
    require(factory, pluginPath() + QStringLiteral(": ") + m_loader.errorString());
    auto *processing = dynamic_cast<BasicSbpProcessing *>(factory->createProcessing());
    require(processing, pluginPath() + QStringLiteral(": no QR code processing"));
    processing->init(PaymentProcessingContext());
    m_processings.append(processing);
    if (m_pauses)
        m_pauses->cashier = processing;
    return processing;
}

void PluginTestBench::notePauses(int interruptAtStep)
{
    m_pauses = std::make_unique<PauseRecorder>();
    m_pauses->log = &m_log;
    m_pauses->interruptAtStep = interruptAtStep;
    MockFactory<zorvikcpqr::Waiter>::setSubstitute(m_pauses.get());
}

void PluginTestBench::openReceipt(const QByteArray &receiptJson)
{
    QString error;
    require(ReceiptFile::parse(
                receiptJson, QStringLiteral("test receipt"), Singleton<Session>::instance, &error),
            error);
}

void PluginTestBench::openStandardReceipt(const QStringList &cards)
{
    openReceipt(R"({"shopCode": 12, "cashCode": 3, "posId": "0003", "cashierId": 42, "positions": [
        {"barcode": "460", "posnum": 1, "name": "Молоко", "quantity": 1, "sum": 100.0},
        {"barcode": "461", "posnum": 2, "name": "Хлеб", "quantity": 1, "sum": 50.5}], "cards": )"
                + QJsonDocument(QJsonArray::fromStringList(cards)).toJson() + '}');
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

QList<QJsonObject> PluginTestBench::queuedMessages() const
{
    QList<QJsonObject> messages;
    for (const QueuedMessage &queued :
         Singleton<DBQueueBroker>::instance->messages(zorvikcpqr::Constants::CancelQueue))
        messages.append(queued.message);
    return messages;
}

QString PluginTestBench::processingLog() const
{
    QString log;
    for (const QString &line : lines(true))
        log += line + QLatin1Char('\n');
    return log;
}

QStringList PluginTestBench::lines(bool processingOnly) const
{
    QStringList lines;
    for (const Log4Qt::LoggingEvent &event : m_log.events()) {
        const QString level = event.loggerName == PauseLogger ? QStringLiteral("PAUSE")
                                                              : Log4Qt::Level::name(event.level);
        if (processingOnly ? event.loggerName == PauseLogger
                                 || event.loggerName == QLatin1String("processing.zorvikcpqr")
                           : event.loggerName.endsWith(QLatin1String("zorvikcpqr")))
            lines.append(level + QLatin1Char(' ') + event.message);
    }
    return lines;
}
