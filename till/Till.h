#pragma once

#include "till/PluginHost.h"
#include "till/TillOptions.h"

#include "host/payment/PaymentProcessingRequest.h"

#include <QJsonObject>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <optional>

namespace zorvikcpqr {
class Interface;
}
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
    struct Command
    {
        QString name;
        QStringList arguments; // their names, for the usage error
        int optionalArguments;
        std::function<QJsonObject(const QStringList &)> run;
    };

    int runInteractive();
    int runCommand(const QStringList &words);
    const Command *findCommand(const QStringList &words, int *nameLength) const;
    void fail(const QString &message);

    QJsonObject info() const;
    QJsonObject scan(const QStringList &arguments);
    QJsonObject pay(const QStringList &arguments);
    QJsonObject refund(const QStringList &arguments);
    QJsonObject cancel(const QStringList &arguments);
    QJsonObject defer(const QStringList &arguments);
    QJsonObject queueList() const;
    QJsonObject queueRun();
    QJsonObject addCard(const QStringList &arguments);
    QJsonObject deleteCard(const QStringList &arguments);
    QJsonObject cancelDocument();
    QJsonObject orderStatus(const QStringList &arguments) const;
    QJsonObject scanParams() const;
    QJsonObject message(const QStringList &arguments);

    // The host's request for AMOUNT kopecks; nothing (the error printed) for a bad amount.
    std::optional<PaymentProcessingRequest> paymentRequest(PaymentProcessingRequest::Type type,
                                                           const QString &amountText,
                                                           const QString &operationId,
                                                           const QString &paymentCode = QString());
    PaymentProcessingResult watched(const std::function<PaymentProcessingResult()> &operation);
    QJsonObject paymentJson(const QString &command, const PaymentProcessingResult &result) const;

    TillOptions m_options;
    PluginHost m_plugin;
    QList<Command> m_commands;
    QTextStream m_out;
    QTextStream m_err;
    QScopedPointer<zorvikcpqr::Interface> m_client;
    bool m_badInput = false;
};
