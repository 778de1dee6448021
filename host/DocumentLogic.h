#pragma once

#include "host/FormatterSources.h"

#include <QHash>

// The host's receipt logic, as far as formatting needs it.
class DocumentLogic
{
public:
    virtual ~DocumentLogic() = default;

    // The sources for formatting the current receipt: "document" (the open receipt of the
    // session) followed by the extra named sources.
    virtual FormatterSources
    getFormatterSources(const QHash<QString, QSharedPointer<QObject>> &extra) const;
};
