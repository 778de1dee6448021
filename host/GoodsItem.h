#pragma once

#include <QString>

// One position of a receipt.
class GoodsItem
{
public:
    GoodsItem(
        const QString &barcode, int posnum, const QString &name, double quantity, double sumb);

    QString getBarcode() const { return m_barcode; }
    int getPosnum() const { return m_posnum; }
    // The position name; with full set, the name as printed with its article details.
    QString getName(bool full) const;
    double getQuantity() const { return m_quantity; }
    double getSumb() const { return m_sumb; }

private:
    QString m_barcode;
    int m_posnum;
    QString m_name;
    double m_quantity;
    double m_sumb;
};
