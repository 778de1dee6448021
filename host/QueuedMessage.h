#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

// One message stored in the host's persistent queue.
struct QueuedMessage
{
    qint64 id = 0;
    QString queue;
    QJsonObject message;
    QString text;
    int attempts = 0;
    QDateTime nextAttemptAt; // when a failed message is due again; null while never failed
};
