#include "RecordingInterface.h"

zorvikcpqr::RequestResult RecordingInterface::sendPostRequest(const QString &path,
                                                              const QJsonObject &body) const
{
    sent.append({QByteArrayLiteral("POST"), path, body, QUrlQuery()});
    return answer;
}

zorvikcpqr::RequestResult RecordingInterface::sendGetRequest(const QString &path,
                                                             const QUrlQuery &query) const
{
    sent.append({QByteArrayLiteral("GET"), path, QJsonObject(), query});
    return answer;
}
