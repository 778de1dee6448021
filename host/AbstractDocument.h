#pragma once

#include "host/DocumentCardRecord.h"
#include "host/GoodsItem.h"

#include <QList>
#include <QObject>
#include <QSharedPointer>

// The receipt open in the till. Its properties are what formatter masks can name as
// "document.<property>".
class AbstractDocument : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int shopCode READ getShopCode)
    Q_PROPERTY(int cashCode READ getCashCode)
    Q_PROPERTY(double sum READ getSum)

public:
    explicit AbstractDocument(int shopCode = 0, int cashCode = 0);

    int getShopCode() const { return m_shopCode; }
    int getCashCode() const { return m_cashCode; }

    // The receipt total in roubles: the sum set for it, else the sum of its positions.
    double getSum() const;
    void setSum(double sum);

    QList<QSharedPointer<GoodsItem>> getGoodsItems() const { return m_goodsItems; }
    void addGoodsItem(const QSharedPointer<GoodsItem> &item);

    QList<QSharedPointer<DocumentCardRecord>> getCards() const { return m_cards; }
    bool containsCard(const QString &number) const;
    void addCard(const QString &number);
    // Removes every card with that number; false when there was none.
    bool removeCard(const QString &number);

private:
    int m_shopCode;
    int m_cashCode;
    bool m_hasSum = false;
    double m_sum = 0.0;
    QList<QSharedPointer<GoodsItem>> m_goodsItems;
    QList<QSharedPointer<DocumentCardRecord>> m_cards;
};
