#pragma once

#include "tests/processing/PluginTestBench.h"

#include "host/QueuedMessage.h"
#include "host/payment/PaymentProcessingResult.h"

#include <QTcpSocket>

class BasicSbpProcessing;

// One row of the fault matrix: a till with the plug-in and the simulated service, the exchange
// time-out at two seconds (the service's slow answers take four), an api-key that the service
// checks, and the means to cut the till off from the service and to mend the connection.
class FaultMatrixBench
{
public:
    // How the till's configuration can keep it from the service; a moved address is answered
    // with a redirect, an address without a scheme is no address.
    enum class Breakage { None, ClosedPort, UnknownHost, WrongApiKey, MovedAddress, NoScheme };

    static constexpr qint64 Amount = 15050; // kopecks; the receipt's total

    FaultMatrixBench();

    PluginTestBench &bench() { return m_bench; }

    // Rewrites the configuration and initialises the processing again, as a restarted till.
    void setBreakage(Breakage breakage);

    // Scans the code as the cashier does, so that the payment uses the session opened here.
    bool scan(const QString &code);
    PaymentProcessingResult pay(const QString &code = QString());
    PaymentProcessingResult cancel(const QString &operationId, qint64 amount = Amount);
    // The host's deferred cancellation of a payment.
    void deferCancel(const QString &operationId, qint64 amount = Amount);

    // Hands the queue to the processing at most that many times, stopping once it is empty.
    void runQueue(int rounds);
    QList<QueuedMessage> queued() const;
    // "ERROR text" of every warning and error the processing and its client logged.
    QString problems() const;

    // Mends the configuration, runs the queue at most twice and tells the service's books:
    // each order's state ("none" without orders), "+returned [SUM]" once money went back, the
    // requests received by endpoint and the messages left in the queue.
    QString recover();

private:
    QString settledOrders();
    QString received() const;

    PluginTestBench m_bench;
    BasicSbpProcessing *m_processing = nullptr;
    // Bound and never listening: a connection to it is refused, and no other test takes the port.
    QTcpSocket m_closedPort;
};

Q_DECLARE_METATYPE(FaultMatrixBench::Breakage)
