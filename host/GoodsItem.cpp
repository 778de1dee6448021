#include "host/GoodsItem.h"

GoodsItem::GoodsItem(
    const QString &barcode, int posnum, const QString &name, double quantity, double sumb)
    : m_barcode(barcode)
    , m_posnum(posnum)
    , m_name(name)
    , m_quantity(quantity)
    , m_sumb(sumb)
{}

QString GoodsItem::getName(bool full) const
{
    if (!full || m_barcode.isEmpty())
        return m_name;
    return m_name + QStringLiteral(" [") + m_barcode + QLatin1Char(']');
}
