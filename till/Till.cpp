#include "till/Till.h"

#include "till/HumanPrinter.h"
#include "till/PaymentWatch.h"

#include "api/Constants.h"
#include "api/Interface.h"

#include "host/Config.h"
#include "host/DBQueueBroker.h"
#include "host/HostPaths.h"
#include "host/ReceiptFile.h"
#include "host/Session.h"
#include "host/Translations.h"
#include "host/log4qt/LogManager.h"
#include "host/log4qt/StreamAppender.h"
#include "host/payment/AbstractProcessingFactory.h"
#include "host/payment/BasicSbpProcessing.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

#include <cstdio>
#include <unistd.h>

namespace {

QJsonObject textJson(const tr::Tr &text)
{
    return {{QStringLiteral("id"), text.id()}, {QStringLiteral("text"), text.text()}};
}

} // namespace

Till::Till(const TillOptions &options)
    : m_options(options)
    , m_commands(commands())
    , m_out(stdout)
    , m_err(stderr)
{}

Till::~Till()
{
    if (m_appender)
        Log4Qt::LogManager::removeAppender(m_appender.get());
    if (Singleton<Session>::instance == m_session.get())
        Singleton<Session>::instance = nullptr;
    if (Singleton<DBQueueBroker>::instance == m_queue.get())
        Singleton<DBQueueBroker>::instance = nullptr;
}

QList<Till::Command> Till::commands()
{
    const QString amount = QStringLiteral("AMOUNT");
    const QString operationId = QStringLiteral("OPERATION_ID");
    const QString number = QStringLiteral("NUMBER");
    return {
        {QStringLiteral("info"), {}, 0, &Till::info},
        {QStringLiteral("scan"), {QStringLiteral("CODE")}, 0, &Till::scan},
        {QStringLiteral("pay"), {amount, QStringLiteral("CODE")}, 1, &Till::pay},
        {QStringLiteral("refund"), {operationId, amount}, 0, &Till::refund},
        {QStringLiteral("cancel"), {operationId, amount}, 0, &Till::cancel},
        {QStringLiteral("defer"), {operationId, amount}, 0, &Till::defer},
        {QStringLiteral("queue list"), {}, 0, &Till::queueList},
        {QStringLiteral("queue run"), {}, 0, &Till::queueRun},
        {QStringLiteral("card add"), {number}, 0, &Till::addCard},
        {QStringLiteral("card delete"), {number}, 0, &Till::deleteCard},
        {QStringLiteral("document cancel"), {}, 0, &Till::cancelDocument},
        {QStringLiteral("status"), {operationId}, 0, &Till::orderStatus},
        {QStringLiteral("params"), {}, 0, &Till::scanParams},
        {QStringLiteral("message"), {QStringLiteral("KIND")}, 0, &Till::message},
    };
}

Till::Outcome Till::failure(const QString &message)
{
    Outcome outcome(QJsonObject{});
    outcome.error = message;
    return outcome;
}

int Till::run()
{
    QString errorMessage;
    if (!setUp(&errorMessage)) {
        fail(errorMessage);
        return UsageError;
    }
    if (m_options.command.isEmpty())
        return runInteractive();
    return runCommand(m_options.command);
}

bool Till::setUp(QString *errorMessage)
{
    auto appender = m_options.logPath.isEmpty()
                        ? std::make_unique<Log4Qt::StreamAppender>()
                        : std::make_unique<Log4Qt::StreamAppender>(m_options.logPath);
    if (!appender->isOpen()) {
        *errorMessage = QStringLiteral("cannot write the log %1: %2")
                            .arg(m_options.logPath, appender->errorString());
        return false;
    }
    m_appender = std::move(appender);
    Log4Qt::LogManager::addAppender(m_appender.get());
    Log4Qt::Level::Value level = Log4Qt::Level::Info;
    Log4Qt::Level::fromName(m_options.logLevel, &level);
    Log4Qt::LogManager::setThreshold(level);

    if (!m_options.language.isEmpty()) {
        const QDir toolDir(QCoreApplication::applicationDirPath());
        const QStringList folders{toolDir.filePath(QStringLiteral("translations")),
                                  toolDir.filePath(QStringLiteral(ZORVIK_INSTALLED_TRANSLATIONS))};
        if (!Translations::install(m_options.language, folders, errorMessage))
            return false;
    }

    if (!m_options.configPath.isEmpty()) {
        if (!QFileInfo(m_options.configPath).isReadable()) {
            *errorMessage
                = QStringLiteral("cannot read the configuration %1").arg(m_options.configPath);
            return false;
        }
        HostPaths::setOverride(zorvikcpqr::Constants::ConfigPath, m_options.configPath);
    }

    auto session = std::make_unique<Session>();
    if (!m_options.receiptPath.isEmpty()
        && !ReceiptFile::load(m_options.receiptPath, session.get(), errorMessage))
        return false;
    m_session = std::move(session);
    Singleton<Session>::instance = m_session.get();

    auto queue = m_options.queuePath.isEmpty()
                     ? std::make_unique<DBQueueBroker>()
                     : std::make_unique<DBQueueBroker>(m_options.queuePath);
    if (!queue->isOpen()) {
        *errorMessage = QStringLiteral("cannot open the queue %1: %2")
                            .arg(queue->databasePath(), queue->errorString());
        return false;
    }
    m_queue = std::move(queue);
    Singleton<DBQueueBroker>::instance = m_queue.get();
    placeJournal();

    const QString pluginPath
        = m_options.pluginPath.isEmpty() ? PluginHost::defaultPluginPath() : m_options.pluginPath;
    if (!m_plugin.load(pluginPath, errorMessage))
        return false;

    m_client = std::make_unique<zorvikcpqr::Interface>();
    m_client->init();
    return true;
}

// The command line's journal wins over the configuration's; without either, the journal goes
// beside the queue, so that a till's files stay together.
void Till::placeJournal()
{
    const QString key = zorvikcpqr::Constants::configKey(zorvikcpqr::Constants::JournalFileKey);
    Config *config = singletonInstance<Config>();
    if (!m_options.journalPath.isEmpty()) {
        config->setOverride(key, QFileInfo(m_options.journalPath).absoluteFilePath());
        return;
    }
    const QDir queueFolder = QFileInfo(m_queue->databasePath()).absoluteDir();
    config->setFallback(key, queueFolder.filePath(zorvikcpqr::Constants::JournalFileName));
}

int Till::runInteractive()
{
    int exitCode = Success;
    QTextStream in(stdin);
    QString line;
    while (in.readLineInto(&line)) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        if (runCommand(QProcess::splitCommand(trimmed)) != Success)
            exitCode = UsageError;
    }
    return exitCode;
}

const Till::Command *Till::findCommand(const QStringList &words, int *nameLength) const
{
    for (const Command &command : m_commands) {
        const int length = command.name.count(QLatin1Char(' ')) + 1;
        if (words.size() >= length && words.mid(0, length).join(QLatin1Char(' ')) == command.name) {
            *nameLength = length;
            return &command;
        }
    }
    return nullptr;
}

int Till::runCommand(const QStringList &words)
{
    const std::optional<QJsonObject> result = execute(words);
    if (!result)
        return UsageError;
    print(*result);
    return Success;
}

std::optional<QJsonObject> Till::execute(const QStringList &words)
{
    int nameLength = 0;
    const Command *command = findCommand(words, &nameLength);
    if (!command) {
        fail(QStringLiteral("unknown command '%1'; see zorvik-till --help")
                 .arg(words.join(QLatin1Char(' '))));
        return std::nullopt;
    }
    const QStringList arguments = words.mid(nameLength);
    const int required = command->arguments.size() - command->optionalArguments;
    if (arguments.size() < required || arguments.size() > command->arguments.size()) {
        QStringList shape{command->name};
        for (int i = 0; i < command->arguments.size(); ++i)
            shape.append(i < required ? command->arguments.at(i)
                                      : QStringLiteral("[%1]").arg(command->arguments.at(i)));
        fail(QStringLiteral("usage: %1").arg(shape.join(QLatin1Char(' '))));
        return std::nullopt;
    }
    return reported((this->*command->run)(arguments));
}

std::optional<QJsonObject> Till::reported(const Outcome &outcome)
{
    if (!outcome.error.isEmpty()) {
        fail(outcome.error);
        return std::nullopt;
    }
    return outcome.result;
}

void Till::print(const QJsonObject &result)
{
    if (m_options.json)
        m_out << QJsonDocument(result).toJson(QJsonDocument::Compact) << '\n';
    else
        m_out << HumanPrinter::format(result);
    m_out.flush();
}

void Till::fail(const QString &message)
{
    m_err << "zorvik-till: " << message << '\n';
    m_err.flush();
}

Till::Outcome Till::info(const QStringList &)
{
    const QJsonObject metaData = m_plugin.metaData();
    const QSize picture = QImageReader(zorvikcpqr::Constants::ScanPicturePath).size();
    BasicSbpProcessing *processing = m_plugin.processing();
    const QRegularExpression mask = processing->getScanQrParams().codePatterns.value(0);
    const QHash<QString, QString> headers = m_client->requestHeaders();
    const QJsonObject settings{
        {QStringLiteral("url"), m_client->serverUrl().toString()},
        {QStringLiteral("timeout"), m_client->timeoutSeconds()},
        {QStringLiteral("statusRequestInterval"), processing->getStatusRequestsInterval()},
        {QStringLiteral("statusRequestDelay"), processing->getStatusRequestDelay()},
        {QStringLiteral("paymentCodeMask"), mask.pattern()},
        {QStringLiteral("paymentCodeMaskValid"), mask.isValid()},
        {QStringLiteral("defaultCardNumber"),
         singletonInstance<Config>()->getString(
             zorvikcpqr::Constants::configKey(QStringLiteral("defaultCardNumber")))},
        {QStringLiteral("apiKeySet"), !headers.value(QStringLiteral("api-key")).isEmpty()},
        {QStringLiteral("userTokenSet"), !headers.value(QStringLiteral("user-token")).isEmpty()},
    };
    return QJsonObject{
        {QStringLiteral("command"), QStringLiteral("info")},
        {QStringLiteral("iid"), metaData.value(QStringLiteral("IID"))},
        {QStringLiteral("className"), metaData.value(QStringLiteral("className"))},
        {QStringLiteral("factoryClass"),
         QString::fromLatin1(m_plugin.factory()->metaObject()->className())},
        {QStringLiteral("processingClass"),
         QString::fromLatin1(m_plugin.processingObject()->metaObject()->className())},
        {QStringLiteral("scanPicture"),
         QJsonObject{{QStringLiteral("width"), picture.width()},
                     {QStringLiteral("height"), picture.height()}}},
        {QStringLiteral("settings"), settings},
    };
}

Till::Outcome Till::scan(const QStringList &arguments)
{
    const CpqrCheckResult check = m_plugin.processing()->processCpqr(arguments.at(0));
    // As a till does, the customer's cards of an accepted code go onto the receipt.
    const QSharedPointer<AbstractDocument> document = Singleton<Session>::instance->getDocument();
    for (const QString &number : check.cardNumbers) {
        if (!document->containsCard(number))
            document->addCard(number);
    }
    return QJsonObject{
        {QStringLiteral("command"), QStringLiteral("scan")},
        {QStringLiteral("recognized"), check.recognized},
        {QStringLiteral("accepted"), check.accepted},
        {QStringLiteral("failureText"), textJson(check.failureText)},
        {QStringLiteral("cardNumbers"), QJsonArray::fromStringList(check.cardNumbers)}};
}

Till::Outcome Till::pay(const QStringList &arguments)
{
    return watchedPayment(
        QStringLiteral("pay"),
        paymentRequest(
            PaymentProcessingRequest::Sale, arguments.at(0), QString(), arguments.value(1)),
        &BasicSbpProcessing::payment);
}

Till::Outcome Till::refund(const QStringList &arguments)
{
    return watchedPayment(
        QStringLiteral("refund"),
        paymentRequest(PaymentProcessingRequest::Refund, arguments.at(1), arguments.at(0)),
        &BasicSbpProcessing::payment);
}

Till::Outcome Till::cancel(const QStringList &arguments)
{
    return watchedPayment(
        QStringLiteral("cancel"),
        paymentRequest(PaymentProcessingRequest::Sale, arguments.at(1), arguments.at(0)),
        &BasicSbpProcessing::cancel);
}

Till::Outcome Till::defer(const QStringList &arguments)
{
    const Payment cancellation
        = paymentRequest(PaymentProcessingRequest::Sale, arguments.at(1), arguments.at(0));
    if (!cancellation.error.isEmpty())
        return failure(cancellation.error);
    m_plugin.processing()->cancelPaymentByQRCodeInQueue(cancellation.request);
    return QJsonObject{{QStringLiteral("command"), QStringLiteral("defer")}};
}

Till::Outcome Till::queueList(const QStringList &)
{
    QJsonArray messages;
    for (const QueuedMessage &queued : Singleton<DBQueueBroker>::instance->messages()) {
        messages.append(QJsonObject{{QStringLiteral("id"), queued.id},
                                    {QStringLiteral("queue"), queued.queue},
                                    {QStringLiteral("message"), queued.message},
                                    {QStringLiteral("attempts"), queued.attempts}});
    }
    return QJsonObject{{QStringLiteral("command"), QStringLiteral("queue list")},
                       {QStringLiteral("messages"), messages}};
}

Till::Outcome Till::queueRun(const QStringList &)
{
    BasicSbpProcessing *processing = m_plugin.processing();
    const DeliveryReport report = Singleton<DBQueueBroker>::instance->deliver(
        zorvikcpqr::Constants::CancelQueue,
        [processing](const QVariantMap &message) {
            return processing->sendEnqueuedMessage(message);
        },
        DBQueueBroker::Scope::All);
    return QJsonObject{{QStringLiteral("command"), QStringLiteral("queue run")},
                       {QStringLiteral("delivered"), report.delivered},
                       {QStringLiteral("failed"), report.failed}};
}

Till::Outcome Till::addCard(const QStringList &arguments)
{
    Singleton<Session>::instance->getDocument()->addCard(arguments.at(0));
    return QJsonObject{{QStringLiteral("command"), QStringLiteral("card add")}};
}

Till::Outcome Till::deleteCard(const QStringList &arguments)
{
    if (!Singleton<Session>::instance->getDocument()->removeCard(arguments.at(0))) {
        return failure(QStringLiteral("the receipt has no card %1").arg(arguments.at(0)));
    }
    m_plugin.processing()->onCardDelete();
    return QJsonObject{{QStringLiteral("command"), QStringLiteral("card delete")}};
}

Till::Outcome Till::cancelDocument(const QStringList &)
{
    m_plugin.processing()->onDocumentCancel();
    return QJsonObject{{QStringLiteral("command"), QStringLiteral("document cancel")}};
}

Till::Outcome Till::orderStatus(const QStringList &arguments)
{
    const zorvikcpqr::OperationResult status = m_client->operationResult(arguments.at(0));
    const bool failed
        = status.transportError || status.errorCode() != 0 || !status.errorText.isEmpty();
    return QJsonObject{{QStringLiteral("command"), QStringLiteral("status")},
                       {QStringLiteral("status"), status.getStatus()},
                       {QStringLiteral("result"), status.result()},
                       {QStringLiteral("errorCode"), status.errorCode()},
                       {QStringLiteral("error"), textJson(failed ? status.getError() : tr::Tr())},
                       {QStringLiteral("cart"), status.getCart()}};
}

Till::Outcome Till::scanParams(const QStringList &)
{
    const ScanQrParams params = m_plugin.processing()->getScanQrParams();
    QJsonArray patterns;
    for (const QRegularExpression &pattern : params.codePatterns)
        patterns.append(pattern.pattern());
    return QJsonObject{{QStringLiteral("command"), QStringLiteral("params")},
                       {QStringLiteral("scanTitle"), textJson(params.scanTitle)},
                       {QStringLiteral("scanMessage"), textJson(params.scanMessage)},
                       {QStringLiteral("scanError"), textJson(params.scanError)},
                       {QStringLiteral("codePatterns"), patterns},
                       {QStringLiteral("imagePath"), params.imagePath},
                       {QStringLiteral("okButtonText"), textJson(params.okButtonText)},
                       {QStringLiteral("cancelButtonText"), textJson(params.cancelButtonText)}};
}

Till::Outcome Till::message(const QStringList &arguments)
{
    bool ok = false;
    const int kind = arguments.at(0).toInt(&ok);
    if (!ok) {
        return failure(
            QStringLiteral("KIND must be a whole number, not '%1'").arg(arguments.at(0)));
    }
    const tr::Tr defaultText(QStringLiteral("zorvikTillMessage"),
                             QStringLiteral("Сообщение кассы"));
    const tr::Tr text
        = m_plugin.processing()->getMessage(static_cast<sbp::MessageType>(kind), defaultText);
    return QJsonObject{{QStringLiteral("command"), QStringLiteral("message")},
                       {QStringLiteral("kind"), kind},
                       {QStringLiteral("message"), textJson(text)}};
}

Till::Payment Till::paymentRequest(PaymentProcessingRequest::Type type,
                                   const QString &amountText,
                                   const QString &operationId,
                                   const QString &paymentCode)
{
    bool ok = false;
    const qint64 amount = amountText.toLongLong(&ok);
    if (!ok || amount <= 0) {
        return {PaymentProcessingRequest(),
                QStringLiteral("AMOUNT must be a positive whole number of kopecks, not '%1'")
                    .arg(amountText)};
    }
    PaymentProcessingRequest request;
    request.type = type;
    request.amount = amount;
    request.operationId = operationId;
    request.paymentCode = paymentCode;
    request.valutCode = zorvikcpqr::Constants::RoubleCode;
    return {request, QString()};
}

Till::Outcome
Till::watchedPayment(const QString &command, const Payment &payment, PaymentOperation operation)
{
    if (!payment.error.isEmpty())
        return failure(payment.error);
    const bool showProgress = !m_options.json && isatty(STDOUT_FILENO);
    BasicSbpProcessing *processing = m_plugin.processing();
    PaymentProcessingResult result;
    {
        PaymentWatch watch(
            processing, m_options.interruptAfterSeconds, showProgress ? stdout : nullptr);
        result = (processing->*operation)(payment.request);
    }
    return QJsonObject{{QStringLiteral("command"), command},
                       {QStringLiteral("status"), result.status},
                       {QStringLiteral("message"), textJson(result.message)},
                       {QStringLiteral("operationId"), result.operationId},
                       {QStringLiteral("additionalData"), result.additionalData}};
}
