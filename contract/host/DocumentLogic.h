#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSharedPointer>
#include <QString>

namespace host_unnamed {
// What the formatter formats from: the host gives this type no name the plug-in may use.
using FormatterSources = QList<QPair<QString, QSharedPointer<QObject>>>;
} // namespace host_unnamed

// The host's receipt logic.
class DocumentLogic
{
public:
    host_unnamed::FormatterSources
    getFormatterSources(const QHash<QString, QSharedPointer<QObject>> &extra) const;
};
