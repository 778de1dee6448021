#pragma once

#include <QVariant>

// A card on the receipt.
class DocumentCardRecord
{
public:
    QVariant getNumber() const;
};
