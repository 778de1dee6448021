#include "fuzz/OfflineInterface.h"

void OfflineInterface::setAnswer(const QString &path, const QJsonObject &answer)
{
    m_answers.insert(path, answer);
}

zorvikcpqr::RequestResult OfflineInterface::sendPostRequest(const QString &path,
                                                            const QJsonObject &) const
{
    return answerFor(path);
}

zorvikcpqr::RequestResult OfflineInterface::sendGetRequest(const QString &path,
                                                           const QUrlQuery &) const
{
    return answerFor(path);
}

zorvikcpqr::RequestResult OfflineInterface::answerFor(const QString &path) const
{
    zorvikcpqr::RequestResult result;
    result.json = m_answers.value(path);
    return result;
}
