#pragma once

#include "host/Tr.h"

#include <QHash>
#include <QJsonDocument>
#include <QObject>
#include <QString>
#include <QUrl>

namespace Log4Qt {
class Logger;
}

// The host network library's client of one HTTP exchange. The virtual operations keep this
// relative order; what they return where it is not used is not known.
class RestClient : public QObject
{
public:
    RestClient();
    ~RestClient() override;

    void setLogger(const Log4Qt::Logger *logger);

    virtual void
    get(const QUrl &url, const QJsonDocument &document, const QHash<QString, QString> &headers);
    virtual void
    post(const QUrl &url, const QJsonDocument &document, const QHash<QString, QString> &headers);
    virtual int lastError() const;
    virtual tr::Tr lastErrorText() const;
    virtual QJsonDocument responseDocument() const;
    virtual void setTimeout(qint64 milliseconds);
    virtual bool isTimedOut() const;
};
