#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QSharedPointer>
#include <QString>

// Named objects whose properties a formatter mask can name as "%(name.property)".
using FormatterSources = QList<QPair<QString, QSharedPointer<QObject>>>;
