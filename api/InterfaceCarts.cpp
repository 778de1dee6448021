#include "api/Interface.h"

#include "api/Rounding.h"
#include "host/AbstractDocument.h"
#include "host/GoodsItem.h"
#include "host/Session.h"
#include "host/Singleton.h"

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
    const QSharedPointer<AbstractDocument> document = singletonInstance<Session>()->getDocument();
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
constexpr QLatin1String CountKey("count");
constexpr QLatin1String TitleKey("title");
constexpr QLatin1String CostKey("cost");
constexpr QLatin1String UnitPriceKey("unit_price");
constexpr QLatin1String ItemPriceKey("itemPrice");
constexpr QLatin1String TotalKey("total");

// The items of a cart all have the same keys. Each item starts as a copy of a prototype that
// holds them and only has its values replaced: inserting every key into every item anew was most
// of the work of a cart for a receipt of many positions.
QJsonObject prototypeOf(std::initializer_list<QLatin1String> keys)
{
    QJsonObject prototype;
    for (const QLatin1String key : keys)
        prototype.insert(key, QJsonValue::Null);
    return prototype;
}

// A JSON object keeps its keys sorted; the values come in that order too, so that each goes to
// its place without a look-up.
QJsonObject filledIn(QJsonObject prototype,
                     std::initializer_list<std::pair<QLatin1String, QJsonValue>> values)
{
    Q_ASSERT(qsizetype(values.size()) == prototype.size());
    auto slot = prototype.begin();
    for (const auto &[key, value] : values) {
        Q_ASSERT(slot.key() == key);
        *slot++ = value;
    }
    return prototype;
}

QJsonObject quantityOf(const QJsonValue &count)
{
    static const QJsonObject prototype = prototypeOf({CountKey});
    return filledIn(prototype, {{CountKey, count}});
}

QJsonObject saleItem(const QString &productId, const GoodsItem &position)
{
    static const QJsonObject prototype
        = prototypeOf({CostKey, ProductIdKey, QuantityKey, TitleKey, UnitPriceKey});
    return filledIn(prototype,
                    {
                        {CostKey, roundMoney(position.getSumb())},
                        {ProductIdKey, productId},
                        {QuantityKey, quantityOf(roundQuantity(position.getQuantity()))},
                        {TitleKey, position.getName(false)},
                        {UnitPriceKey, unitPriceOf(position)},
                    });
}

QJsonObject refundItem(const QString &productId, const GoodsItem &position, double paidUnitPrice)
{
    static const QJsonObject prototype
        = prototypeOf({ItemPriceKey, ProductIdKey, QuantityKey, TotalKey});
    return filledIn(prototype,
                    {
                        {ItemPriceKey, paidUnitPrice},
                        {ProductIdKey, productId},
                        {QuantityKey, quantityOf(roundQuantity(position.getQuantity()))},
                        {TotalKey, roundMoney(position.getSumb())},
                    });
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
    QJsonArray items;
    if (std::abs(receipt.sum - amount) < 0.005) {
        for (const QSharedPointer<GoodsItem> &position : receipt.positions)
            items.append(saleItem(getProductId(position), *position));
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
    const QHash<QString, double> prices = paidUnitPrices(paidOrder.getCart());
    QJsonArray items;
    for (const QSharedPointer<GoodsItem> &position : openReceipt().positions) {
        const QString productId = getProductId(position);
        items.append(refundItem(productId, *position, prices.value(productId, 0.0)));
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
    // The number is written in place rather than as a string of its own: one allocation for
    // every position of a cart instead of two.
    std::array<char, 12> number;
    const std::to_chars_result written
        = std::to_chars(number.data(), number.data() + number.size(), item->getPosnum());
    return item->getBarcode() + QLatin1Char('_')
           + QLatin1String(number.data(), written.ptr - number.data());
}

} // namespace zorvikcpqr
