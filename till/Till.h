#pragma once

#include "till/PluginHost.h"
#include "till/TillOptions.h"

#include "host/payment/PaymentProcessingRequest.h"

#include <QJsonObject>
#include <QStringList>
#include <QTextStream>

#include <memory>
#include <optional>

namespace zorvikcpqr {
class Interface;
}
namespace Log4Qt {
class Appender;
}
class BasicSbpProcessing;
class DBQueueBroker;
class Session;
struct PaymentProcessingResult;

// The host test bench: sets up the host services as a till has them, loads the plug-in and
// runs the cashier's commands against it.
class Till
{
public:
    enum ExitCode { Success = 0, UsageError = 2 };

    explicit Till(const TillOptions &options);
    ~Till();

    // Runs the command of the command line, or each command read from standard input.
    int run();

    // Sets up the host services and loads the plug-in; false with a message naming the fault.
    bool setUp(QString *errorMessage);
    // Runs one command and gives its result; nothing when the command or its arguments are
    // wrong (the error is printed).
    std::optional<QJsonObject> execute(const QStringList &words);
    void print(const QJsonObject &result);
    void setInterruptAfter(double seconds) { m_options.interruptAfterSeconds = seconds; }

private:
    // What a command gives: its result, or what was wrong with its input.
    struct Outcome
    {
        Outcome(const QJsonObject &result) // implicit: a command's result is its outcome
            : result(result)
        {}

        QJsonObject result;
        QString error; // empty when the command ran
    };
    using Handler = Outcome (Till::*)(const QStringList &arguments);
    struct Command
    {
        QString name;
        QStringList arguments; // their names, for the usage error
        int optionalArguments;
        Handler run;
    };
    // The host's request of a payment command, or what was wrong with its amount.
    struct Payment
    {
        PaymentProcessingRequest request;
        QString error;
    };
    using PaymentOperation
        = PaymentProcessingResult (BasicSbpProcessing::*)(const PaymentProcessingRequest &);

    static QList<Command> commands();
    static Outcome failure(const QString &message);
    // Tells the plug-in where its journal is, through the host's configuration.
    void placeJournal();
    int runInteractive();
    int runCommand(const QStringList &words);
    const Command *findCommand(const QStringList &words, int *nameLength) const;
    std::optional<QJsonObject> reported(const Outcome &outcome);
    void fail(const QString &message);

    Outcome info(const QStringList &);
    Outcome scan(const QStringList &arguments);
    Outcome pay(const QStringList &arguments);
    Outcome refund(const QStringList &arguments);
    Outcome cancel(const QStringList &arguments);
    Outcome defer(const QStringList &arguments);
    Outcome queueList(const QStringList &);
    Outcome queueRun(const QStringList &);
    Outcome addCard(const QStringList &arguments);
    Outcome deleteCard(const QStringList &arguments);
    Outcome cancelDocument(const QStringList &);
    Outcome orderStatus(const QStringList &arguments);
    Outcome scanParams(const QStringList &);
    Outcome message(const QStringList &arguments);

    // The request for AMOUNT kopecks.
    static Payment paymentRequest(PaymentProcessingRequest::Type type,
                                  const QString &amountText,
                                  const QString &operationId,
                                  const QString &paymentCode = QString());
    // Runs the operation on the request while the payment watch runs.
    Outcome
    watchedPayment(const QString &command, const Payment &payment, PaymentOperation operation);

    TillOptions m_options;
    const QList<Command> m_commands;
    QTextStream m_out;
    QTextStream m_err;
    // The host services this bench sets up; the plug-in reaches them through their singletons.
    std::unique_ptr<Log4Qt::Appender> m_appender;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<DBQueueBroker> m_queue;
    // The bench's own client of the service, configured as the plug-in's, for support queries.
    std::unique_ptr<zorvikcpqr::Interface> m_client;
    PluginHost m_plugin;
};
