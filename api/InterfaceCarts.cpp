#include "api/Interface.h"

#include "api/Rounding.h"
#include "host/AbstractDocument.h"
#include "host/GoodsItem.h"
#include "host/Session.h"
#include "host/Singleton.h"

#include <QJsonArray>
#include <QMap>

#include <cmath>

namespace zorvikcpqr {

namespace {

const QString partialPaymentTitle = QStringLiteral("Частичная оплата заказа");

// The open receipt's total and positions; a session without a receipt counts as an empty one.
struct OpenReceipt
{
    double sum = 0.0;
    QList<QSharedPointer<GoodsItem>> positions;
};

OpenReceipt openReceipt()
{
    const QSharedPointer<AbstractDocument> document = singletonInstance<Session>()->getDocument();
    if (!document)
        return {};
    return {document->getSum(), document->getGoodsItems()};
}

QJsonObject quantityOf(const QJsonValue &count)
{
    return {{QStringLiteral("count"), count}};
}

QJsonObject cartOf(const QJsonArray &items)
{
    return {{QStringLiteral("items"), items}};
}

// The price of one unit, from the unrounded values. A position without a quantity has no unit
// price that JSON could carry, so its whole sum stands in for it.
double unitPriceOf(const GoodsItem &position)
{
    const double unitPrice = position.getSumb() / position.getQuantity();
    return roundMoney(std::isfinite(unitPrice) ? unitPrice : position.getSumb());
}

// Product id to unit price in the paid order's cart; a later item replaces an earlier one.
QMap<QString, double> paidUnitPrices(const QJsonObject &paidCart)
{
    QMap<QString, double> prices;
    const QJsonArray items = paidCart.value(QStringLiteral("items")).toArray();
    for (const QJsonValue &element : items) {
        const QJsonObject item = element.toObject();
        const double price = item.value(QStringLiteral("unit_price")).toString().toDouble();
        // "nan" and "inf" parse, but are no price that can be sent back.
        prices.insert(item.value(QStringLiteral("productId")).toString(),
                      std::isfinite(price) ? price : 0.0);
    }
    return prices;
}

} // namespace

QJsonObject Interface::getCart(double amount) const
{
    const OpenReceipt receipt = openReceipt();
    QJsonArray items;
    if (std::abs(receipt.sum - amount) < 0.005) {
        for (const QSharedPointer<GoodsItem> &position : receipt.positions) {
            items.append(QJsonObject{
                {QStringLiteral("productId"), getProductId(position)},
                {QStringLiteral("quantity"), quantityOf(roundQuantity(position->getQuantity()))},
                {QStringLiteral("title"), position->getName(false)},
                {QStringLiteral("cost"), roundMoney(position->getSumb())},
                {QStringLiteral("unit_price"), unitPriceOf(*position)},
            });
        }
    } else {
        items.append(QJsonObject{
            {QStringLiteral("productId"), QString()},
            {QStringLiteral("quantity"), quantityOf(1)},
            {QStringLiteral("title"), partialPaymentTitle},
            {QStringLiteral("cost"), amount},
            {QStringLiteral("unit_price"), amount},
        });
    }
    return cartOf(items);
}

QJsonObject Interface::formReturnCart(const OperationResult &paidOrder) const
{
    const QMap<QString, double> prices = paidUnitPrices(paidOrder.getCart());
    QJsonArray items;
    for (const QSharedPointer<GoodsItem> &position : openReceipt().positions) {
        const QString productId = getProductId(position);
        items.append(QJsonObject{
            {QStringLiteral("productId"), productId},
            {QStringLiteral("quantity"), quantityOf(roundQuantity(position->getQuantity()))},
            {QStringLiteral("itemPrice"), prices.value(productId, 0.0)},
            {QStringLiteral("total"), roundMoney(position->getSumb())},
        });
    }
    if (items.isEmpty())
        return {};
    return cartOf(items);
}

QJsonObject Interface::formPartPaymentReturnCart(double amount) const
{
    return cartOf({QJsonObject{
        {QStringLiteral("productId"), QString()},
        {QStringLiteral("quantity"), quantityOf(1)},
        {QStringLiteral("title"), partialPaymentTitle},
        {QStringLiteral("itemPrice"), amount},
        {QStringLiteral("total"), amount},
    }});
}

QString Interface::getProductId(const QSharedPointer<GoodsItem> &item) const
{
    return item->getBarcode() + QLatin1Char('_') + QString::number(item->getPosnum());
}

} // namespace zorvikcpqr
