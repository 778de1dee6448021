#pragma once

#include "host/FormatterSources.h"

#include <QString>
#include <QVariantMap>

// Expands masks with placeholders "%(object.property[format])": the property of a named source
// object, optionally formatted printf-style ("04d", "2d", "d", "s", "-10s"). A placeholder
// "%(name)" takes the value of that name from the value map. Unknown names give empty text.
class SimpleFormatter
{
public:
    virtual ~SimpleFormatter() = default;

    virtual QString format(const QString &mask,
                           const FormatterSources &sources,
                           int flags,
                           const QVariantMap &values) const;
};
