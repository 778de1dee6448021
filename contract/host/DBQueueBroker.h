#pragma once

#include "host/Singleton.h"

#include <QJsonObject>
#include <QString>

// The host's persistent queue: a stored message is handed to the processing's
// sendEnqueuedMessage until it returns true.
class DBQueueBroker
{
public:
    // The plug-in relies on the result telling whether the message was stored.
    bool enqueue(const QString &queue, const QJsonObject &message, const QString &text);
};

template<>
DBQueueBroker *Singleton<DBQueueBroker>::instance;
