#include "host/AbstractDocument.h"

#include <algorithm>

AbstractDocument::AbstractDocument(int shopCode, int cashCode)
    : m_shopCode(shopCode)
    , m_cashCode(cashCode)
{}

double AbstractDocument::getSum() const
{
    if (m_hasSum)
        return m_sum;
    double sum = 0.0;
    for (const QSharedPointer<GoodsItem> &item : m_goodsItems)
        sum += item->getSumb();
    return sum;
}

void AbstractDocument::setSum(double sum)
{
    m_hasSum = true;
    m_sum = sum;
}

void AbstractDocument::addGoodsItem(const QSharedPointer<GoodsItem> &item)
{
    if (item)
        m_goodsItems.append(item);
}

bool AbstractDocument::containsCard(const QString &number) const
{
    return std::any_of(m_cards.cbegin(), m_cards.cend(), [&number](const auto &card) {
        return card->getNumber().toString() == number;
    });
}

void AbstractDocument::addCard(const QString &number)
{
    m_cards.append(QSharedPointer<DocumentCardRecord>::create(number));
}

bool AbstractDocument::removeCard(const QString &number)
{
    return m_cards.removeIf([&number](const auto &card) {
        return card->getNumber().toString() == number;
    }) > 0;
}
