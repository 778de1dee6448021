// A stored cancellation message, as the host's queue hands it back: any JSON text becomes the
// message map, which the processing reads a request from and cancels. The service answers from
// memory that the order was paid, once with a cart of product positions and once with the cart
// of a partial payment, so that both refund carts are built from the message's amount.

#include "fuzz/FuzzHost.h"
#include "fuzz/OfflineInterface.h"

#include "processing/Processing.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

const QString ResultPath = QStringLiteral("/cpqr/operation/result");
const QString ReturnPath = QStringLiteral("/cpqr/operation/return");

// Lives as long as the process: every processing refers to it.
OfflineInterface *apiClient = nullptr;

QJsonObject paidOrder(const QJsonArray &items)
{
    return {{QStringLiteral("status"), 1},
            {QStringLiteral("result"), true},
            {QStringLiteral("cart"), QJsonObject{{QStringLiteral("items"), items}}}};
}

QJsonObject cartItem(const QString &productId, const QString &unitPrice)
{
    return {{QStringLiteral("productId"), productId}, {QStringLiteral("unit_price"), unitPrice}};
}

const QJsonObject &paidForPositions()
{
    static const QJsonObject answer
        = paidOrder({cartItem(QStringLiteral("4600000000011_1"), QStringLiteral("45.90")),
                     cartItem(QStringLiteral("4600000000028_2"), QStringLiteral("89.90"))});
    return answer;
}

const QJsonObject &paidInPart()
{
    static const QJsonObject answer = paidOrder({cartItem(QString(), QStringLiteral("100.00"))});
    return answer;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzhost::prepare();
    apiClient = new OfflineInterface;
    apiClient->setAnswer(ReturnPath, QJsonObject{{QStringLiteral("result"), true}});
    MockFactory<zorvikcpqr::Interface>::setSubstitute(apiClient);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QJsonDocument document = QJsonDocument::fromJson(fuzzhost::bytes(data, size));
    if (document.isNull())
        return -1; // not JSON: the queue stores nothing else
    const QVariantMap message = document.toVariant().toMap();
    for (const QJsonObject *answer : {&paidForPositions(), &paidInPart()}) {
        apiClient->setAnswer(ResultPath, *answer);
        zorvikcpqr::Processing processing;
        processing.sendEnqueuedMessage(message);
    }
    return 0;
}
