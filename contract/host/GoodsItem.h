#pragma once

#include <QString>

// One position of the receipt.
class GoodsItem
{
public:
    QString getBarcode() const;
    int getPosnum() const;
    double getQuantity() const;
    double getSumb() const;
    QString getName(bool full) const;
};
