#pragma once

#include "host/DocumentCardRecord.h"
#include "host/GoodsItem.h"

#include <QList>
#include <QSharedPointer>
#include <QString>

// The open receipt.
class AbstractDocument
{
public:
    double getSum() const;
    QList<QSharedPointer<GoodsItem>> getGoodsItems() const;
    bool containsCard(const QString &number) const;
    QList<QSharedPointer<DocumentCardRecord>> getCards() const;
};
