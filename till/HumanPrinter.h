#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// Renders a command's JSON result as the lines a person at the till reads.
class HumanPrinter
{
public:
    static QString format(const QJsonObject &result);

private:
    static QString info(const QJsonObject &result);
    static QString settingLine(const QJsonObject &setting);
    static QString scan(const QJsonObject &result);
    static QString payment(const QJsonObject &result);
    static QString queueList(const QJsonObject &result);
    static QString dueTime(const QJsonValue &nextAttemptAt);
    static QString queueRun(const QJsonObject &result);
    static QString status(const QJsonObject &result);
    static QString cartLines(const QJsonObject &cart);
    static QString keyValues(const QJsonObject &object, const QString &indent);
};
