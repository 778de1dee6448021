#pragma once

#include "sim/Simulator.h"

#include "host/payment/PaymentProcessingRequest.h"

#include "host/log4qt/MemoryAppender.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QPluginLoader>
#include <QTemporaryDir>

#include <memory>

class BasicSbpProcessing;
class PauseRecorder;

// A till in a test: the plug-in loaded through QPluginLoader, the simulator on a loopback port,
// the plug-in's configuration pointed at it, fresh host singletons (queue file, session, barcode
// parser) and a log capture. A bench that cannot be set up stops the test program.
class PluginTestBench
{
public:
    explicit PluginTestBench(const zorviksim::SimulatorOptions &options = {});
    ~PluginTestBench();

    static QString pluginPath() { return QStringLiteral(ZORVIK_BUILD_DIR "/libzorvikcpqr.so"); }
    // A request of the host in roubles (valut code 643) for that many kopecks.
    static PaymentProcessingRequest request(PaymentProcessingRequest::Type type,
                                            qint64 amount,
                                            const QString &paymentCode = QString(),
                                            const QString &operationId = QString())
    {
        return {type, amount, operationId, paymentCode, 643};
    }

    // Writes the plug-in's configuration: the simulator's address, no waits, the journal in the
    // bench's folder, then the settings; a null value leaves its key out.
    void configure(const QVariantMap &settings = {});
    QString journalPath() const;
    // A processing object from the plug-in's factory, initialised; the bench owns it.
    BasicSbpProcessing *createProcessing();
    // Processings created from here on pause without sleeping: each pause shows in
    // processingLog() as "PAUSE 2 s" or "PAUSE 250 ms", and at the step with that number
    // (counted from 1; 0 for none) the cashier interrupts the last processing created.
    void notePauses(int interruptAtStep = 0);

    // Opens a receipt as the host session's document (the JSON form of receipt files).
    void openReceipt(const QByteArray &receiptJson);
    // Opens the receipt of 150.50, milk for 100.00 and bread for 50.50, with those cards.
    void openStandardReceipt(const QStringList &cards = {});

    zorviksim::Simulator &simulator() { return *m_simulator; }
    QJsonArray orders() { return m_simulator->state().value(QStringLiteral("orders")).toArray(); }
    // The requests that reached the simulator at that path.
    QList<zorviksim::ReceivedRequest> requests(const QString &path) const;

    // Hands every queued message to the processing as the host does; the number delivered.
    int runQueue(BasicSbpProcessing *processing);
    QList<QJsonObject> queuedMessages() const;

    // "LEVEL message" of every line logged by the processing and its client.
    QStringList logLines() const { return lines(false); }
    // The processing's own lines, each ended by a line break, with the pauses in their places.
    QString processingLog() const;
    void clearLog() { m_log.clear(); }

private:
    QStringList lines(bool processingOnly) const;

    QTemporaryDir m_dir;
    std::unique_ptr<zorviksim::Simulator> m_simulator;
    QPluginLoader m_loader;
    Log4Qt::MemoryAppender m_log;
    std::unique_ptr<PauseRecorder> m_pauses;
    QList<BasicSbpProcessing *> m_processings;
};
