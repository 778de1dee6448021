#include "api/Interface.h"

#include "api/HostInstance.h"
#include "api/Rounding.h"
#include "host/AbstractDocument.h"
#include "host/GoodsItem.h"
#include "host/Session.h"

#include <QHash>
#include <QJsonArray>

#include <array>
#include <charconv>
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
    const QSharedPointer<AbstractDocument> document = hostInstance<Session>()->getDocument();
    if (!document)
        return {};
    return {document->getSum(), document->getGoodsItems()};
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

constexpr QLatin1String ProductIdKey("productId");
constexpr QLatin1String QuantityKey("quantity");
constexpr QLatin1String TitleKey("title");
constexpr QLatin1String CostKey("cost");
constexpr QLatin1String UnitPriceKey("unit_price");
constexpr QLatin1String ItemPriceKey("itemPrice");
constexpr QLatin1String TotalKey("total");

QJsonObject quantityOf(const QJsonValue &count)
{
    return {{QStringLiteral("count"), count}};
}

// An item of a sale cart.
QJsonObject saleItem(const QString &productId,
                     const QJsonValue &count,
                     const QString &title,
                     double cost,
                     double unitPrice)
{
    return {
        {ProductIdKey, productId},
        {QuantityKey, quantityOf(count)},
        {TitleKey, title},
        {CostKey, cost},
        {UnitPriceKey, unitPrice},
    };
}

// An item of a refund cart.
QJsonObject
refundItem(const QString &productId, const QJsonValue &count, double itemPrice, double total)
{
    return {
        {ProductIdKey, productId},
        {QuantityKey, quantityOf(count)},
        {ItemPriceKey, itemPrice},
        {TotalKey, total},
    };
}

QJsonObject saleItemOf(const QString &productId, const GoodsItem &position)
{
    return saleItem(productId,
                    roundQuantity(position.getQuantity()),
                    position.getName(false),
                    roundMoney(position.getSumb()),
                    unitPriceOf(position));
}

QJsonObject refundItemOf(const QString &productId, const GoodsItem &position, double paidUnitPrice)
{
    return refundItem(productId,
                      roundQuantity(position.getQuantity()),
                      paidUnitPrice,
                      roundMoney(position.getSumb()));
}

// The service writes unit prices as plain decimal text ("66.67"). std::from_chars reads such
// text to the same double as QString::toDouble at a fraction of its cost; anything else (blanks,
// signs, exponents, words) is left to QString::toDouble.
double decimalOf(const QString &text)
{
    std::array<char, 32> plain;
    if (text.size() > qsizetype(plain.size()))
        return text.toDouble();
    for (qsizetype index = 0; index < text.size(); ++index) {
        const char16_t c = text.at(index).unicode();
        if ((c < u'0' || c > u'9') && c != u'.' && c != u'-')
            return text.toDouble();
        plain[index] = char(c);
    }
    double value = 0.0;
    const char *end = plain.data() + text.size();
    const std::from_chars_result read = std::from_chars(plain.data(), end, value);
    return read.ec == std::errc() && read.ptr == end ? value : text.toDouble();
}

// Product id to unit price in the paid order's cart; a later item replaces an earlier one.
QHash<QString, double> paidUnitPrices(const QJsonObject &paidCart)
{
    const QJsonArray items = paidCart.value(QStringLiteral("items")).toArray();
    QHash<QString, double> prices;
    prices.reserve(items.size());
    for (const QJsonValue &element : items) {
        const QJsonObject item = element.toObject();
        const double price = decimalOf(item.value(UnitPriceKey).toString());
        // "nan" and "inf" parse, but are no price that can be sent back.
        prices.insert(item.value(ProductIdKey).toString(), std::isfinite(price) ? price : 0.0);
    }
    return prices;
}

} // namespace

QJsonObject Interface::getCart(double amount) const
{
    const OpenReceipt receipt = openReceipt();
    if (std::abs(receipt.sum - amount) < 0.005) {
        QJsonArray items;
        for (const QSharedPointer<GoodsItem> &position : receipt.positions)
            items.append(saleItemOf(getProductId(position), *position));
        return cartOf(items);
    }
    return cartOf({saleItem(QString(), 1, partialPaymentTitle, amount, amount)});
}

QJsonObject Interface::formReturnCart(const OperationResult &paidOrder) const
{
    const QHash<QString, double> prices = paidUnitPrices(paidOrder.getCart());
    QJsonArray items;
    for (const QSharedPointer<GoodsItem> &position : openReceipt().positions) {
        const QString productId = getProductId(position);
        items.append(refundItemOf(productId, *position, prices.value(productId, 0.0)));
    }
    if (items.isEmpty())
        return {};
    return cartOf(items);
}

QJsonObject Interface::formPartPaymentReturnCart(double amount) const
{
    QJsonObject item = refundItem(QString(), 1, amount, amount);
    item.insert(TitleKey, partialPaymentTitle);
    return cartOf({item});
}

QString Interface::getProductId(const QSharedPointer<GoodsItem> &item) const
{
    return item->getBarcode() + QLatin1Char('_') + QString::number(item->getPosnum());
}

} // namespace zorvikcpqr
