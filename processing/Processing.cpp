#include "processing/Processing.h"

#include "processing/RequestCodec.h"
#include "processing/Waiter.h"

#include "api/Constants.h"
#include "api/HostInstance.h"

#include "host/BcodeParser.h"
#include "host/Config.h"
#include "host/DBQueueBroker.h"
#include "host/Finally.h"
#include "host/Session.h"
#include "host/log4qt/Logger.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

namespace zorvikcpqr {

namespace {

const QString DefaultPaymentCodeMask = QStringLiteral("^(?<sbpCpqr>ZVQR.*)$");
constexpr int PaymentCodeKind = 32;

QString roubles(qint64 kopecks)
{
    return QString::number(kopecks * 0.01, 'f', 2);
}

// Nothing was sent: the journal could not note what was about to happen.
tr::Tr paymentNotRecorded()
{
    return tr::Tr(QStringLiteral("zorvikCpqrPaymentNotRecorded"),
                  QStringLiteral("Оплата не выполнена: журнал оплат недоступен"));
}

tr::Tr returnNotRecorded()
{
    return tr::Tr(QStringLiteral("zorvikCpqrReturnNotRecorded"),
                  QStringLiteral("Возврат не выполнен: журнал оплат недоступен"));
}

// The service has decided, but the journal still holds the return: asking again is answered as
// the same return and moves no money.
tr::Tr returnNotSettled()
{
    return tr::Tr(QStringLiteral("zorvikCpqrReturnNotSettled"),
                  QStringLiteral("Операция не отмечена в журнале оплат, повторите ее"));
}

} // namespace

Processing::Processing()
    : QObject(nullptr)
    , BasicSbpProcessing(QStringLiteral("zorvikcpqr"))
    , interface(MockFactory<Interface>::create())
    , waiter(MockFactory<Waiter>::create())
{
    paymentRequestTypes.insert(PaymentProcessingRequest::Sale);
    paymentRequestTypes.insert(PaymentProcessingRequest::Refund);
    cancelRequestTypes.insert(PaymentProcessingRequest::Sale);

    setOption(EPaymentProcessingOption::QrCodePayment, true);
    setOption(processing::RequestPaymentCode, true);
    setOption(processing::ProcessingEnabled, true);
    setSbpOption(processing::CustomerPresentedQr);
}

Processing::~Processing() = default;

void Processing::init(const PaymentProcessingContext &)
{
    Config *config = hostInstance<Config>();
    config->loadFile(Constants::ConfigPath, QString());

    interface->init();

    statusRequestsInterval
        = qint64(config->getInt(Constants::configKey(QStringLiteral("statusRequestInterval")),
                                Constants::DefaultStatusRequestIntervalSeconds))
          * 1000;
    statusRequestDelay = config->getInt(Constants::configKey(QStringLiteral("statusRequestDelay")),
                                        Constants::DefaultStatusRequestDelaySeconds);
    logger->debug(
        QStringLiteral(" интервал запроса статуса (сек): %1").arg(statusRequestsInterval / 1000));
    logger->debug(QStringLiteral(" задержка запроса статуса (сек): %1").arg(statusRequestDelay));

    paymentCodeMask = QRegularExpression(config->getString(
        Constants::configKey(QStringLiteral("paymentCodeMask")), DefaultPaymentCodeMask));
    if (paymentCodeMask.isValid())
        hostInstance<BcodeParser>()->registerPattern(paymentCodeMask, PaymentCodeKind);
    else
        logger->error(QStringLiteral("Некорректное значение параметра ZorvikCpqr:paymentCodeMask"));

    defaultCardNumber
        = config->getString(Constants::configKey(QStringLiteral("defaultCardNumber")), QString());

    openJournal(*config);
}

// The plug-in makes no folder, and a relative name would put the journal wherever the host
// happens to run, where another run would not find it: such a location leaves the payments
// unnoted, and says so once.
void Processing::openJournal(const Config &config)
{
    journal.reset();
    const QString filePath = config.getString(Constants::configKey(Constants::JournalFileKey),
                                              Constants::DefaultJournalFile);
    if (!QDir::isAbsolutePath(filePath)) {
        logger->error(QStringLiteral("Некорректное значение параметра ZorvikCpqr:journalFile: "
                                     "'%1', оплаты не записываются в журнал")
                          .arg(filePath));
        return;
    }
    const QFileInfo file(filePath);
    if (!file.dir().exists()) {
        logger->error(QStringLiteral("Папка журнала оплат %1 не существует, оплаты не "
                                     "записываются в журнал")
                          .arg(file.path()));
        return;
    }
    journal = std::make_unique<PaymentJournal>(filePath);
    if (!journal->isOpen()) {
        logger->error(QStringLiteral("Журнал оплат %1 недоступен: %2")
                          .arg(journal->filePath(), journal->errorString()));
        return;
    }
    cancelAbandonedPayments();
}

bool Processing::journalIsOpen() const
{
    return journal && journal->isOpen();
}

// The text takes the operation's id, the journal's path and the reason.
void Processing::logJournalFailure(const QString &text, const QString &operationId) const
{
    const QString path = journal ? journal->filePath() : QString();
    const QString reason = journal ? journal->errorString() : QString();
    logger->error(text.arg(operationId, path, reason));
}

// The till died while these orders waited for payment: nobody will finish them, and the
// customer may still pay one in the app. Each is cancelled as its payment would have been.
void Processing::cancelAbandonedPayments()
{
    const std::optional<QList<PaymentJournal::Entry>> abandoned = journal->abandoned();
    if (!abandoned) {
        logger->error(QStringLiteral("Журнал оплат %1 не читается: %2")
                          .arg(journal->filePath(), journal->errorString()));
        return;
    }
    for (const PaymentJournal::Entry &entry : *abandoned) {
        if (entry.cancellation.isEmpty()) {
            logger->error(QStringLiteral("Запись журнала оплат %1 не читается, оставлена в %2")
                              .arg(entry.clientTransaction, journal->filePath()));
            continue;
        }
        logger->warn(QStringLiteral("Оплата %1 прервана остановкой кассы, отмена через очередь")
                         .arg(entry.clientTransaction));
        if (!enqueue(entry.cancellation, entry.clientTransaction))
            continue;
        PaymentProcessingRequest cancellation = requestFromVariantMap(
            entry.cancellation.value(QStringLiteral("request")).toObject().toVariantMap());
        cancellation.operationId = entry.clientTransaction;
        paymentQueued(cancellation, entry.cancellation.value(Constants::RefundIdKey).toString());
    }
}

// Without init there is no journal: the payment goes on unnoted. A journal that is open but
// cannot take the note stops the payment before anything reaches the service.
bool Processing::notePayment(const PaymentProcessingRequest &cancellation, const QString &refundId)
{
    if (!journal
        || journal->notePayment(
            returnKey(cancellation), refundId, cancellationMessage(cancellation, refundId)))
        return true;
    logJournalFailure(QStringLiteral("Не удалось записать оплату %1 в журнал оплат %2: %3"),
                      cancellation.operationId);
    return !journal->isOpen();
}

bool Processing::settlePayment(const PaymentProcessingRequest &cancellation,
                               const QString &refundId)
{
    if (!journalIsOpen() || journal->settlePayment(returnKey(cancellation), refundId))
        return true;
    logJournalFailure(QStringLiteral("Не удалось удалить оплату %1 из журнала оплат %2: %3"),
                      cancellation.operationId);
    return false;
}

// The cancellation is in the queue: the payment's entry goes, its return stays noted until the
// queue has carried it out. An entry that stays is queued again at the next start, under the
// same refund id.
void Processing::paymentQueued(const PaymentProcessingRequest &cancellation,
                               const QString &refundId) const
{
    if (journalIsOpen() && !journal->paymentQueued(returnKey(cancellation), refundId))
        logJournalFailure(QStringLiteral("Не удалось удалить оплату %1 из журнала оплат %2: %3"),
                          cancellation.operationId);
}

PaymentProcessingResult Processing::payment(const PaymentProcessingRequest &request)
{
    const QString kind = request.type == PaymentProcessingRequest::Sale
                             ? QStringLiteral("продажи")
                             : QStringLiteral("возврата");
    logger->info(QStringLiteral("Оплата в чеке %1 на сумму %2").arg(kind, roubles(request.amount)));
    if (request.type == PaymentProcessingRequest::Refund)
        return cancel(request);

    PaymentProcessingResult result;
    result.status = PaymentProcessingResult::Failure;
    const tr::Tr sessionError = startSession(request);
    if (!sessionError.isEmpty()) {
        result.message = sessionError;
        return result;
    }

    interrupted = false;
    const Finally sessionReset([this] { resetSession(); });

    // The order is noted before it can exist at the service, so that a till that dies from here
    // on leaves its cancellation behind; every way out of the payment settles the note or queues
    // the cancellation.
    PaymentProcessingRequest cancellation = request;
    cancellation.operationId = interface->createTransactionId();
    const QString refundId = newRefundId();
    if (!notePayment(cancellation, refundId)) {
        result.message = paymentNotRecorded();
        return result;
    }

    const CreateOrderResult order
        = interface->createOrder(request, *session.startSessionResult, cancellation.operationId);
    if (order.errorCode() != 0 || order.transportError) {
        logger->error(QStringLiteral("Не удалось создать заказ"));
        // A request that timed out may have registered the order all the same.
        if (order.transportError && order.timedOut)
            sendCancelToQueue(request, order.clientTransaction);
        else
            settlePayment(cancellation, refundId);
        result.message = order.getError();
        return result;
    }
    logger->info(QStringLiteral(" идентификатор оплаты: %1").arg(order.clientTransaction));
    result.operationId = order.clientTransaction;

    waitBeforeFirstStatusRequest();

    OperationResult status;
    for (;;) {
        status = interface->operationResult(order.clientTransaction);
        if (status.result()) {
            logger->info(QStringLiteral("Оплата выполнена успешно"));
            break;
        }
        if (status.getStatus() == OperationResult::Decided) {
            logger->warn(QStringLiteral("Оплата отклонена"));
            result.message = tr::Tr(QStringLiteral("zorvikCpqrPaymentDeclined"),
                                    QStringLiteral("Оплата отклонена"));
            break;
        }
        logger->info(QStringLiteral("Оплата еще не выполнена"));
        if (status.transportError) {
            sendCancelToQueue(request, order.clientTransaction);
            break;
        }
        if (interruptedBeforeNextStatusRequest()) {
            logger->warn(QStringLiteral("Оплата прервана"));
            sendCancelToQueue(request, order.clientTransaction);
            result.status = PaymentProcessingResult::Interrupted;
            return result;
        }
    }

    result.status
        = status.result() ? PaymentProcessingResult::Success : PaymentProcessingResult::Failure;
    if (result.message.isEmpty())
        result.message = status.errorText;
    result.additionalData = formAdditionalData(status);
    const bool settled = status.transportError || settlePayment(cancellation, refundId);
    reportPaidOnlyWhenSettled(result, cancellation, settled);
    return result;
}

// A paid order whose note stays in the journal would be returned at the next start: the host
// must not book it as paid, and its return runs now, through the queue, so that the host and the
// service agree.
void Processing::reportPaidOnlyWhenSettled(PaymentProcessingResult &result,
                                           const PaymentProcessingRequest &request,
                                           bool settled)
{
    if (settled || result.status != PaymentProcessingResult::Success)
        return;
    result.status = PaymentProcessingResult::Failure;
    result.message = tr::Tr(QStringLiteral("zorvikCpqrPaymentNotKept"),
                            QStringLiteral("Оплата не сохранена в журнале оплат и будет "
                                           "возвращена покупателю"));
    sendCancelToQueue(request, request.operationId);
}

void Processing::waitBeforeFirstStatusRequest() const
{
    logger->info(QStringLiteral("Ожидание %1 сек. перед запросом статуса")
                     .arg(static_cast<int>(statusRequestDelay)));
    if (statusRequestDelay > 0)
        waiter->sleepSeconds(statusRequestDelay);
}

// Waits the status interval in steps, so that the cashier's interruption is seen within one
// step. Every round waits one step at least: with an interval of zero or less the loop would
// otherwise poll the service without pause and could never be interrupted.
bool Processing::interruptedBeforeNextStatusRequest() const
{
    qint64 waited = 0;
    do {
        waiter->sleepStep();
        if (interrupted)
            return true;
        waited += Waiter::StepMs;
    } while (waited < statusRequestsInterval);
    return false;
}

tr::Tr Processing::startSession(const PaymentProcessingRequest &request)
{
    if (session.startSessionResult) {
        const QStringList cardNumbers = getCardNumbers(*session.startSessionResult);
        if (cardNumbers.isEmpty())
            return {};
        const QSharedPointer<AbstractDocument> document = hostInstance<Session>()->getDocument();
        for (const QString &number : cardNumbers) {
            if (document && document->containsCard(number))
                return {};
        }
        logger->info(QStringLiteral("Требуется повторный ввод платежного кода"));
        session.startSessionResult.reset();
    }

    if (request.paymentCode.isEmpty()) {
        resetSession();
        return tr::Tr(QStringLiteral("zorvikCpqrNoCpqr"), QStringLiteral("Оплата недоступна"));
    }

    const StartSessionResult started = interface->startSession(request.paymentCode);
    if (started.quickpayId().isEmpty())
        return started.getError();
    session.startSessionResult = started;
    return {};
}

QStringList Processing::getCardNumbers(const StartSessionResult &started) const
{
    QStringList cardNumbers;
    const QString merchantPayload = started.merchantPayload();
    if (!merchantPayload.isEmpty())
        cardNumbers.append(merchantPayload);
    cardNumbers.append(started.loyaltyIds());
    if (cardNumbers.isEmpty() && !defaultCardNumber.isEmpty())
        cardNumbers.append(defaultCardNumber);
    return cardNumbers;
}

QString Processing::formAdditionalData(const OperationResult &operation) const
{
    const QJsonObject data{{QStringLiteral("cart"), operation.getCart()}};
    return QString::fromUtf8(QJsonDocument(data).toJson(QJsonDocument::Compact));
}

PaymentProcessingResult Processing::cancel(const PaymentProcessingRequest &request)
{
    logger->info(QStringLiteral("Отмена оплаты на сумму %1").arg(roubles(request.amount)));

    PaymentProcessingResult result;
    result.status = PaymentProcessingResult::Failure;

    const OperationResult status = interface->operationResult(request.operationId);
    if (status.errorCode() != 0 || status.transportError) {
        logger->error(QStringLiteral("Не удалось получить статус заказа"));
        result.message = status.getError();
        return result;
    }

    switch (status.getStatus()) {
    case OperationResult::NoStatus:
        logger->error(QStringLiteral("Неизвестное состояние заказа"));
        break;
    case OperationResult::Registered:
        logger->info(QStringLiteral("Заказ зарегистрирован, но состояние неизвестно"));
        break;
    case OperationResult::Decided:
        if (!status.result()) {
            logger->info(QStringLiteral("Дальнейшая обработка не требуется"));
            if (!settleReturnsOf(request.operationId)) {
                result.message = returnNotSettled();
                return result;
            }
            PaymentProcessingResult finished;
            finished.status = PaymentProcessingResult::Success;
            finished.slipCopies = 0;
            return finished;
        }
        logger->info(QStringLiteral("Заказ был успешно оплачен, будет выполнен возврат"));
        break;
    default:
        break;
    }
    return requestReturn(request, status);
}

// The process that gets the service's answer settles the return for every process; an
// unknown outcome leaves it noted, so that asking again, here or elsewhere, sends the same id.
// A return made whose note stays would lend its id to a later, separate return of the same
// amount: it is reported as not done, so that it is asked again (and answered as the same
// return) until the note is gone.
PaymentProcessingResult Processing::requestReturn(const PaymentProcessingRequest &request,
                                                  const OperationResult &paidOrder)
{
    PaymentProcessingResult result;
    result.status = PaymentProcessingResult::Failure;
    const std::optional<ReturnOptions> options = returnOptions(request);
    if (!options) {
        result.message = returnNotRecorded();
        return result;
    }
    const ReturnResult refund = interface->operationReturn(request, paidOrder, *options);
    resetSession();
    const bool settled = !refund.isSettled() || settleReturn(request, options->refundId);
    if (refund.success() && settled) {
        result.status = PaymentProcessingResult::Success;
        result.operationId = refund.refundTransaction;
    } else {
        result.message = refund.success() ? returnNotSettled() : refund.getError();
    }
    return result;
}

// A return that nothing remembers could be paid out twice when it is asked again after a lost
// answer: without the journal only a queued message, which keeps its own refund id, goes on.
std::optional<ReturnOptions>
Processing::returnOptions(const PaymentProcessingRequest &request) const
{
    const QString stored = queuedMessageRefundId.value_or(QString());
    if (!journalIsOpen() && stored.isEmpty()) {
        logJournalFailure(QStringLiteral("Возврат по операции %1 не выполнен: журнал оплат %2 "
                                         "недоступен: %3"),
                          request.operationId);
        return std::nullopt;
    }
    const std::optional<PaymentJournal::NotedReturn> refundId = refundIdFor(request, stored);
    if (!refundId)
        return std::nullopt;
    return ReturnOptions{refundId->refundId, !queuedMessageRefundId.has_value()};
}

PaymentJournal::ReturnKey Processing::returnKey(const PaymentProcessingRequest &request)
{
    return {request.operationId, request.amount};
}

// Every refund id is made here; the journal keeps it from then on.
QString Processing::newRefundId() const
{
    return interface->createTransactionId();
}

// The unsettled return of the same order and amount, in any process, gives its id; otherwise
// the proposed one (or a new one) is noted before it can reach the service, unless it was
// settled already: a queued message of a return made meanwhile goes by its own id, which the
// service answers as that return. Without the journal the id is the proposed one (or a new
// one), remembered nowhere.
std::optional<PaymentJournal::NotedReturn>
Processing::refundIdFor(const PaymentProcessingRequest &request, const QString &proposed) const
{
    if (!journalIsOpen())
        return PaymentJournal::NotedReturn{proposed.isEmpty() ? newRefundId() : proposed, false};
    const std::optional<QString> unsettled = journal->unsettledRefundId(returnKey(request));
    if (unsettled && !unsettled->isEmpty() && (proposed.isEmpty() || *unsettled == proposed))
        return PaymentJournal::NotedReturn{*unsettled, false};
    const std::optional<PaymentJournal::NotedReturn> noted
        = unsettled ? journal->noteReturn(returnKey(request),
                                          proposed.isEmpty() ? newRefundId() : proposed)
                    : std::nullopt;
    if (!noted)
        logJournalFailure(QStringLiteral("Не удалось записать возврат по операции %1 в журнал "
                                         "оплат %2: %3"),
                          request.operationId);
    return noted;
}

bool Processing::settleReturn(const PaymentProcessingRequest &request,
                              const QString &refundId) const
{
    if (!journalIsOpen() || journal->settleReturn(returnKey(request), refundId))
        return true;
    logJournalFailure(QStringLiteral("Не удалось удалить возврат по операции %1 из журнала "
                                     "оплат %2: %3"),
                      request.operationId);
    return false;
}

bool Processing::settleReturnsOf(const QString &operationId) const
{
    if (!journalIsOpen() || journal->settleReturnsOf(operationId))
        return true;
    logJournalFailure(QStringLiteral("Не удалось удалить возврат по операции %1 из журнала "
                                     "оплат %2: %3"),
                      operationId);
    return false;
}

void Processing::cancelPaymentByQRCodeInQueue(const PaymentProcessingRequest &request) const
{
    logger->info(QStringLiteral("Отправка отмены заказа %1 в очередь").arg(request.operationId));
    enqueueCancellation(request);
}

void Processing::sendCancelToQueue(const PaymentProcessingRequest &request,
                                   const QString &operationId) const
{
    logger->info(QStringLiteral("Отмена оплаты %1 через очередь").arg(operationId));
    PaymentProcessingRequest cancellation = request;
    cancellation.operationId = operationId;
    if (const std::optional<QString> refundId = enqueueCancellation(cancellation))
        paymentQueued(cancellation, *refundId);
}

QJsonObject Processing::cancellationMessage(const PaymentProcessingRequest &request,
                                            const QString &refundId)
{
    return {{QStringLiteral("request"), requestToJson(request)},
            {QStringLiteral("valutCode"), request.valutCode},
            {Constants::RefundIdKey, refundId}};
}

// A journal that is open but cannot note the return keeps the cancellation out of the queue:
// another return of the same order and amount noted nowhere (a message of an older plug-in)
// would be paid out beside it. A payment's cancellation never meets this, as its return is
// noted with the payment. A refund id noted for the message alone goes when the queue refuses
// it, as nothing will send it.
std::optional<QString>
Processing::enqueueCancellation(const PaymentProcessingRequest &cancellation) const
{
    const std::optional<PaymentJournal::NotedReturn> refundId
        = refundIdFor(cancellation, QString());
    if (!refundId) {
        logger->error(QStringLiteral("Не удалось поставить отмену заказа %1 в очередь")
                          .arg(cancellation.operationId));
        return std::nullopt;
    }
    if (enqueue(cancellationMessage(cancellation, refundId->refundId), cancellation.operationId))
        return refundId->refundId;
    if (refundId->notedNow)
        settleReturn(cancellation, refundId->refundId);
    return std::nullopt;
}

bool Processing::enqueue(const QJsonObject &message, const QString &operationId) const
{
    if (hostInstance<DBQueueBroker>()->enqueue(Constants::CancelQueue, message, QString()))
        return true;
    // The order stays open at the service if its cancellation is lost: say so loudly.
    logger->error(
        QStringLiteral("Не удалось поставить отмену заказа %1 в очередь").arg(operationId));
    return false;
}

// The receipt open when the queue hands a message over belongs to whatever the till does then,
// so the return's cart is not read from it.
bool Processing::sendEnqueuedMessage(const QMap<QString, QVariant> &message)
{
    logger->info(QStringLiteral("Обработка сообщения из очереди"));
    const PaymentProcessingRequest request
        = requestFromVariantMap(message.value(QStringLiteral("request")).toMap());
    queuedMessageRefundId = storedRefundId(message, request);
    const Finally carriedOut([this] { queuedMessageRefundId.reset(); });
    return cancel(request).status == PaymentProcessingResult::Success;
}

// Messages stored before they carried a refund id, and damaged ones, take the journal's id for
// the return, or a new one that the journal keeps for every later attempt.
QString Processing::storedRefundId(const QVariantMap &message,
                                   const PaymentProcessingRequest &request) const
{
    const QVariant stored = message.value(Constants::RefundIdKey);
    if (stored.typeId() == QMetaType::QString && !stored.toString().isEmpty())
        return stored.toString();
    if (stored.isValid())
        logger->error(QStringLiteral("Некорректный идентификатор возврата в сообщении очереди, "
                                     "возврат по операции %1 получит новый")
                          .arg(request.operationId));
    return {};
}

bool Processing::interruptPayment()
{
    logger->info(QStringLiteral("Прерывание оплаты"));
    interrupted = true;
    return true;
}

CpqrCheckResult Processing::processCpqr(const QString &code)
{
    logger->info(QStringLiteral("Проверка кода '%1'").arg(code));
    CpqrCheckResult check;
    if (!isPaymentCode(code))
        return check;

    check.recognized = true;
    setRequestPaymentCode(true);
    const StartSessionResult started = interface->startSession(code);
    if (started.quickpayId().isEmpty()) {
        check.failureText = started.getError();
        return check;
    }
    session.startSessionResult = started;
    session.cardNumbers = getCardNumbers(started);
    setRequestPaymentCode(false);
    check.accepted = true;
    check.cardNumbers = session.cardNumbers;
    return check;
}

bool Processing::isPaymentCode(const QString &code) const
{
    // An invalid pattern matches nothing; asking it anyway only makes Qt complain.
    return paymentCodeMask.isValid() && paymentCodeMask.match(code).hasMatch();
}

ScanQrParams Processing::getScanQrParams() const
{
    ScanQrParams params;
    params.scanTitle
        = tr::Tr(QStringLiteral("zorvikCpqrScanTitle"), QStringLiteral("Ввод платежного кода"));
    params.scanMessage = tr::Tr(QStringLiteral("zorvikCpqrScanMessage"),
                                QStringLiteral("Отсканируйте QR-код из приложения"));
    params.scanError = tr::Tr(QStringLiteral("zorvikCpqrScanError"),
                              QStringLiteral("Ошибка считывания платежного кода,\nповторите "
                                             "сканирование"));
    params.codePatterns = {paymentCodeMask};
    params.imagePath = Constants::ScanPicturePath;
    return params;
}

tr::Tr Processing::getMessage(sbp::MessageType type, const tr::Tr &defaultText) const
{
    if (type == sbp::CpqrCheck)
        return tr::Tr(QStringLiteral("zorvikCpqrCheckMessage"),
                      QStringLiteral("Обработка QR-кода Зорвик Пэй"));
    return defaultText;
}

void Processing::onCardDelete()
{
    if (session.cardNumbers.isEmpty())
        return;
    const QSharedPointer<AbstractDocument> document = hostInstance<Session>()->getDocument();
    const QList<QSharedPointer<DocumentCardRecord>> cards
        = document ? document->getCards() : QList<QSharedPointer<DocumentCardRecord>>();
    for (const QSharedPointer<DocumentCardRecord> &card : cards) {
        const QVariant number = card->getNumber();
        for (const QString &cardNumber : std::as_const(session.cardNumbers)) {
            if (QVariant(cardNumber) == number)
                return;
        }
    }
    resetSession();
}

void Processing::onDocumentCancel()
{
    resetSession();
}

void Processing::resetSession()
{
    logger->info(QStringLiteral("Состояние сессии сброшено"));
    session = SessionState();
    setRequestPaymentCode(true);
}

void Processing::setRequestPaymentCode(bool required)
{
    setOption(processing::RequestPaymentCode, required);
}

} // namespace zorvikcpqr
