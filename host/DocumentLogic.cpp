#include "host/DocumentLogic.h"

#include "host/Session.h"

#include <algorithm>

FormatterSources
DocumentLogic::getFormatterSources(const QHash<QString, QSharedPointer<QObject>> &extra) const
{
    FormatterSources sources;
    sources.append({QStringLiteral("document"), singletonInstance<Session>()->getDocument()});

    // Sorted so that the order does not depend on the hash.
    QStringList names = extra.keys();
    std::sort(names.begin(), names.end());
    for (const QString &name : std::as_const(names))
        sources.append({name, extra.value(name)});
    return sources;
}
