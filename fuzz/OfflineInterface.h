#pragma once

#include "api/Interface.h"

#include <QHash>

// The Zorvik client with its two send operations answered from memory. Everything above the
// transport is the real client, so an input runs through the real operations, carts included,
// without a network.
class OfflineInterface : public zorvikcpqr::Interface
{
public:
    // The service's answer for an endpoint path; a path without one gets an empty answer.
    void setAnswer(const QString &path, const QJsonObject &answer);

    zorvikcpqr::RequestResult sendPostRequest(const QString &path,
                                              const QJsonObject &body) const override;
    zorvikcpqr::RequestResult sendGetRequest(const QString &path,
                                             const QUrlQuery &query) const override;

private:
    zorvikcpqr::RequestResult answerFor(const QString &path) const;

    QHash<QString, QJsonObject> m_answers;
};
