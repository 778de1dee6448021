#pragma once

#include "host/DocumentLogic.h"

#include <QString>
#include <QVariantMap>

// Expands a mask from the formatter sources of the receipt.
class SimpleFormatter
{
public:
    QString format(const QString &mask,
                   const host_unnamed::FormatterSources &sources,
                   int flags,
                   const QVariantMap &values) const;
};
