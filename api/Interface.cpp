#include "api/Interface.h"

#include "api/Constants.h"
#include "api/HostInstance.h"
#include "api/Rounding.h"
#include "host/Config.h"
#include "host/DocumentLogic.h"
#include "host/RestClient.h"
#include "host/Session.h"
#include "host/SimpleFormatter.h"
#include "host/log4qt/LogManager.h"
#include "host/log4qt/Logger.h"
#include "host/payment/PaymentProcessingRequest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

namespace zorvikcpqr {

namespace {

// The request amount in roubles, as the service expects it.
double amountInRoubles(const PaymentProcessingRequest &request)
{
    return roundMoney(static_cast<double>(request.amount) / 100.0);
}

QString currentCashierId(const Session &session)
{
    // The host logs a cashier in before any payment; without one the service gets an empty id
    // and decides itself.
    const auto user = session.getCurrentUser();
    return user ? user->getId().toString() : QString();
}

// An order paid for only part of its receipt was sent with one item without a product id, and
// the service gives the order's cart back in that form.
bool isPartialPaymentCart(const QJsonObject &paidCart)
{
    const QJsonArray items = paidCart.value(QStringLiteral("items")).toArray();
    for (const QJsonValue &item : items) {
        const QJsonValue productId = item.toObject().value(QStringLiteral("productId"));
        if (!productId.isString() || productId.toString().isEmpty())
            return true;
    }
    return false;
}

// A query value encoded in full, so that "+", "%" and the query's own delimiters in it reach the
// service as they are. QUrlQuery writes a null value without its "=", so the value is never null.
QString queryValue(const QString &text)
{
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(text));
    return encoded.isNull() ? QStringLiteral("") : encoded;
}

} // namespace

Interface::Interface()
    : logger(Log4Qt::LogManager::logger(QStringLiteral("zorvikcpqr"), QString()))
{}

Interface::~Interface() = default;

void Interface::init()
{
    const Config *config = hostInstance<Config>();

    url = QUrl(config->getString(Constants::configKey(QStringLiteral("url")),
                                 QStringLiteral("http://127.0.0.1")),
               QUrl::TolerantMode);
    // A password in the address is a secret like the api key: it stays out of the log.
    logger->debug(QStringLiteral(" адрес сервера: %1").arg(url.toString(QUrl::RemovePassword)));

    timeout = config->getInt(Constants::configKey(QStringLiteral("timeout")),
                             Constants::DefaultTimeoutSeconds);
    // The transport takes 0 for no limit at all: a payment could then wait for ever.
    if (timeout <= 0) {
        logger->error(QStringLiteral("Некорректное значение параметра ZorvikCpqr:timeout, "
                                     "используется %1 сек.")
                          .arg(Constants::DefaultTimeoutSeconds));
        timeout = Constants::DefaultTimeoutSeconds;
    }
    logger->debug(QStringLiteral(" таймаут обращения к серверу (сек): %1").arg(timeout));

    headers.insert(QStringLiteral("api-key"),
                   config->getString(Constants::configKey(QStringLiteral("apiKey")), QString()));
    headers.insert(QStringLiteral("user-token"),
                   config->getString(Constants::configKey(QStringLiteral("userToken")), QString()));
    headers.insert(QStringLiteral("Content-Type"), QStringLiteral("application/json"));

    commentMask = config->getString(Constants::configKey(QStringLiteral("commentMask")),
                                    QStringLiteral("%(document.shopCode[04d]) "
                                                   "%(document.cashCode[02d])"));
}

StartSessionResult Interface::startSession(const QString &cpqrPayload) const
{
    logger->info(QStringLiteral("Начало сессии быстрой оплаты"));
    const QJsonObject body{{QStringLiteral("cpqr_payload"), cpqrPayload}};
    StartSessionResult result(sendPostRequest(QStringLiteral("/cpqr/start_session"), body));
    result.cpqrPayload = cpqrPayload;
    return result;
}

CreateOrderResult Interface::createOrder(const PaymentProcessingRequest &request,
                                         const StartSessionResult &started,
                                         const QString &clientTransaction) const
{
    logger->info(QStringLiteral("Создание запроса на оплату"));
    logger->info(QStringLiteral("Создание заказа '%1'").arg(clientTransaction));

    const double cost = amountInRoubles(request);
    const Session *session = hostInstance<Session>();
    QJsonObject body{
        {QStringLiteral("cpqr_payload"), started.cpqrPayload},
        {QStringLiteral("quickpay_id"), started.quickpayId()},
        {QStringLiteral("client_transaction"), clientTransaction},
        {QStringLiteral("cost"), cost},
        {QStringLiteral("posId"), session->getPosId()},
        {QStringLiteral("cashierId"), currentCashierId(*session)},
    };
    const QJsonObject cart = getCart(cost);
    if (!cart.isEmpty())
        body.insert(QStringLiteral("cart"), cart);
    const QString comment = getComment();
    if (!comment.isEmpty())
        body.insert(QStringLiteral("comment"), comment);

    CreateOrderResult result(sendPostRequest(QStringLiteral("/cpqr/operation/create"), body));
    result.clientTransaction = clientTransaction;
    return result;
}

OperationResult Interface::operationResult(const QString &clientTransaction) const
{
    logger->info(QStringLiteral("Получение результата операции %1").arg(clientTransaction));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("client_transaction"), queryValue(clientTransaction));
    return OperationResult(sendGetRequest(QStringLiteral("/cpqr/operation/result"), query));
}

OperationResult Interface::operationCancel(const QString &clientTransaction) const
{
    logger->info(QStringLiteral("Отмена операции %1").arg(clientTransaction));
    const QJsonObject body{{QStringLiteral("client_transaction"), clientTransaction}};
    return OperationResult(sendPostRequest(QStringLiteral("/cpqr/operation/cancel"), body));
}

ReturnResult Interface::operationReturn(const PaymentProcessingRequest &request,
                                        const OperationResult &paidOrder,
                                        const ReturnOptions &options) const
{
    logger->info(QStringLiteral("Возврат по операции %1").arg(request.operationId));
    const QString &refundId = options.refundId;
    logger->info(QStringLiteral(" операция возврата: %1").arg(refundId));

    const double cost = amountInRoubles(request);
    QJsonObject body{
        {QStringLiteral("cost"), cost},
        {QStringLiteral("client_transaction"), request.operationId},
        {QStringLiteral("refundId"), refundId},
    };
    QJsonObject refundCart;
    if (isPartialPaymentCart(paidOrder.getCart()))
        refundCart = formPartPaymentReturnCart(cost);
    else if (options.openReceiptIsReturnReceipt)
        refundCart = formReturnCart(paidOrder);
    if (!refundCart.isEmpty())
        body.insert(QStringLiteral("refundCart"), refundCart);

    ReturnResult result(sendPostRequest(QStringLiteral("/cpqr/operation/return"), body));
    result.refundTransaction = refundId;
    return result;
}

RequestResult Interface::sendPostRequest(const QString &path, const QJsonObject &body) const
{
    if (!hasUsableAddress())
        return unusableAddress();
    const QSharedPointer<RestClient> client = createClient();
    client->post(formUrl(path), QJsonDocument(body), headers);
    return getRequestResult(client);
}

RequestResult Interface::sendGetRequest(const QString &path, const QUrlQuery &query) const
{
    if (!hasUsableAddress())
        return unusableAddress();
    const QSharedPointer<RestClient> client = createClient();
    QUrl requestUrl = formUrl(path);
    requestUrl.setQuery(query);
    client->get(requestUrl, QJsonDocument(), headers);
    return getRequestResult(client);
}

RequestResult Interface::getRequestResult(const QSharedPointer<RestClient> &client) const
{
    RequestResult result;
    result.json = client->responseDocument().object();
    result.timedOut = client->isTimedOut();

    const QString message = result.error(QString());
    if (!message.isEmpty())
        logger->error(QStringLiteral(" сообщение об ошибке: '%1'").arg(message));

    // A complete error envelope of the service explains the failure better than the
    // transport's report of the HTTP status that carried it.
    const int code = result.errorCode();
    if (code != 0) {
        logger->error(QStringLiteral(" код ошибки: '%1'").arg(code));
        if (!message.isEmpty())
            return result;
    }

    if (client->lastError() > 0) {
        result.transportError = true;
        result.errorText = client->lastErrorText();
        return result;
    }

    if (result.json.isEmpty()) {
        logger->error(QStringLiteral("Некорректный ответ от сервера (нет данных)"));
        result.errorText = tr::Tr(QStringLiteral("requestIncorrectAnswer"),
                                  QStringLiteral("Некорректный ответ от сервера"));
    }
    return result;
}

QString Interface::createTransactionId() const
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString Interface::getComment() const
{
    const QSharedPointer<SimpleFormatter> formatter = MockFactory<SimpleFormatter>::create();
    const QSharedPointer<DocumentLogic> documentLogic = MockFactory<DocumentLogic>::create();
    const auto sources = documentLogic->getFormatterSources({});
    return formatter->format(commentMask, sources, 0, QVariantMap());
}

bool Interface::hasUsableAddress() const
{
    const QString scheme = url.scheme();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
           && !url.host().isEmpty();
}

RequestResult Interface::unusableAddress() const
{
    logger->error(QStringLiteral("Некорректное значение параметра ZorvikCpqr:url: '%1', "
                                 "запрос не отправлен")
                      .arg(url.toString(QUrl::RemovePassword)));
    RequestResult result;
    result.transportError = true;
    result.errorText = tr::Tr(QStringLiteral("zorvikCpqrBadServerUrl"),
                              QStringLiteral("Неверно задан адрес сервера Зорвик Пэй"));
    return result;
}

QSharedPointer<RestClient> Interface::createClient() const
{
    const QSharedPointer<RestClient> client = MockFactory<RestClient>::create();
    client->setLogger(logger);
    client->setTimeout(timeout * 1000);
    return client;
}

QUrl Interface::formUrl(QString path) const
{
    // Endpoint paths are relative to the service address, which may carry a path prefix of
    // its own; only one leading slash is dropped.
    if (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    return url.resolved(QUrl(path, QUrl::TolerantMode));
}

} // namespace zorvikcpqr
