#pragma once

#include "sim/HttpServer.h"
#include "sim/PaymentService.h"
#include "sim/ReceivedRequest.h"
#include "sim/RequestJournal.h"
#include "sim/ServiceReply.h"
#include "sim/SimulatorOptions.h"
#include "sim/StopSignal.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <memory>

namespace zorviksim {

// A stand-in for the Zorvik payment service that answers over real HTTP from its own threads:
// quick-pay sessions, orders, their status, cancellation and returns, with the misbehaviour
// that the scanned payment code asks for (see ScenarioParser). Besides the service's endpoints
// it serves, without asking for credentials, the sandbox: the page at "/" that shows the state
// and acts as the customer's phone, GET "/sim/state" (the state() snapshot), GET
// "/sim/request?id=N" (one logged request with its bodies), and the controls POST "/sim/phone"
// (PaymentService::decideByPhone), POST "/sim/fault" (PaymentService::armFault), POST
// "/sim/expire" (PaymentService::expireOrder) and POST "/sim/reset" (PaymentService::reset,
// which empties the request log too).
//
// start() and stop() belong to the thread that owns the simulator; everything else may be
// called from any thread while it runs.
class Simulator
{
public:
    explicit Simulator(const SimulatorOptions &options = {});
    ~Simulator();

    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    // Listens on the address (port 0: any free port); false when it cannot, or runs already,
    // with the reason in errorString().
    bool start(const QString &host = QStringLiteral("127.0.0.1"), quint16 port = 0);
    QString errorString() const { return m_errorString; }
    void stop();
    bool isRunning() const { return m_server != nullptr; }

    quint16 port() const { return m_port; }
    bool servesTls() const;
    // "http://host:port/" ("https://" with TLS), the base address a client is configured with.
    QString baseUrl() const;

    // The latest RequestJournal::Capacity requests but those of the page, "/sim/state",
    // "/sim/request" and the moved address.
    QList<ReceivedRequest> receivedRequests() const { return m_journal.entries(); }
    // Sessions, orders and returns as "/sim/state" serves them; with latest > 0 only the latest
    // of each, and the latest requests (only the order's when it is given), as
    // "/sim/state?latest=N&order=ID" serves them to the page.
    QJsonObject state(qsizetype latest = 0, const QString &order = {});

private:
    HttpAnswer handle(const ReceivedRequest &request);
    ServiceReply answer(const ReceivedRequest &request);
    ServiceReply requestDetails(const ReceivedRequest &request) const;
    bool isAuthorised(const ReceivedRequest &request) const;

    const SimulatorOptions m_options;
    PaymentService m_service;
    RequestJournal m_journal;
    StopSignal m_stopSignal;
    std::unique_ptr<HttpServer> m_server;
    QString m_host;
    quint16 m_port = 0;
    QString m_errorString;
};

} // namespace zorviksim
