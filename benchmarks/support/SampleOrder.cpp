#include "SampleOrder.h"

#include "sim/Order.h"

#include "host/AbstractDocument.h"
#include "host/GoodsItem.h"
#include "host/Session.h"

#include <QJsonDocument>
#include <QUuid>

#include <cmath>

namespace {

constexpr double Quantities[] = {1.0, 2.0, 0.5, 1.25, 3.0, 0.375};

QSharedPointer<GoodsItem> samplePosition(int index)
{
    const double quantity = Quantities[index % std::size(Quantities)];
    const qint64 unitKopecks = 1000 + (index * 37) % 99000;
    const double sum = std::round(double(unitKopecks) * quantity) / 100.0;
    return QSharedPointer<GoodsItem>::create(
        QStringLiteral("46%1").arg(index, 11, 10, QLatin1Char('0')),
        index + 1,
        QStringLiteral("Товар №%1").arg(index + 1),
        quantity,
        sum);
}

} // namespace

QSharedPointer<AbstractDocument> SampleOrder::openReceipt(int positions)
{
    auto receipt = QSharedPointer<AbstractDocument>::create(12, 3);
    for (int index = 0; index < positions; ++index)
        receipt->addGoodsItem(samplePosition(index));
    singletonInstance<Session>()->setDocument(receipt);
    return receipt;
}

qint64 SampleOrder::totalKopecks(const AbstractDocument &receipt)
{
    return std::llround(receipt.getSum() * 100.0);
}

QJsonObject SampleOrder::paidStatusAnswer(const QJsonObject &saleCart)
{
    zorviksim::Order order;
    order.clientTransaction = QUuid::createUuid().toString(QUuid::WithoutBraces);
    order.cart = saleCart;
    order.state = zorviksim::Order::State::Paid;
    // Through its wire form, as the client reads it from the exchange.
    const QByteArray wire = QJsonDocument(order.statusAnswer()).toJson(QJsonDocument::Compact);
    return QJsonDocument::fromJson(wire).object();
}
