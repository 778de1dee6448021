#pragma once

#include "sim/Simulator.h"

#include "host/payment/PaymentProcessingRequest.h"

#include "host/log4qt/MemoryAppender.h"

#include <QJsonObject>
#include <QPluginLoader>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

#include <memory>

class BasicSbpProcessing;

// A till in a test: the plug-in loaded through QPluginLoader, the simulator on a loopback port,
// the plug-in's configuration pointed at it, a receipt, a queue file and a log capture.
class PluginTestBench
{
public:
    explicit PluginTestBench(const zorviksim::SimulatorOptions &options = {});
    ~PluginTestBench();

    static QString pluginPath();
    // A request of the host in roubles (valut code 643) for that many kopecks.
    static PaymentProcessingRequest request(PaymentProcessingRequest::Type type,
                                            qint64 amount,
                                            const QString &paymentCode = QString(),
                                            const QString &operationId = QString());

    // Writes the plug-in's configuration: the simulator's address, no waits, then the settings;
    // a null value leaves its key out.
    void configure(const QVariantMap &settings = {});
    // A processing object from the plug-in's factory, initialised; the bench owns it.
    BasicSbpProcessing *createProcessing();

    // Opens a receipt as the host session's document (the JSON form of receipt files).
    void openReceipt(const QByteArray &receiptJson);
    void openReceipt(const QList<QPair<QString, double>> &positions, const QStringList &cards = {});

    zorviksim::Simulator &simulator() { return *m_simulator; }
    QJsonObject order(const QString &clientTransaction);
    QJsonArray orders();
    // The requests that reached the simulator at that path.
    QList<zorviksim::ReceivedRequest> requests(const QString &path) const;

    // Hands every queued message to the processing as the host does; the number delivered.
    int runQueue(BasicSbpProcessing *processing);
    int queuedMessages() const;

    // "LEVEL message" of every line logged by the processing and its client.
    QStringList logLines() const;
    void clearLog() { m_log.clear(); }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<zorviksim::Simulator> m_simulator;
    QPluginLoader m_loader;
    Log4Qt::MemoryAppender m_log;
    QList<BasicSbpProcessing *> m_processings;
};
