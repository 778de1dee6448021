#include "fuzz/FuzzedRestClient.h"

void FuzzedRestClient::setExchange(const QByteArray &input)
{
    const quint8 outcome = input.isEmpty() ? 0 : static_cast<quint8>(input.front());
    m_error = outcome & 0x07;
    m_timedOut = (outcome & 0x08) != 0;
    m_answer = QJsonDocument::fromJson(input.mid(1));
}

bool FuzzedRestClient::get(const QUrl &, const QJsonDocument &, const QHash<QString, QString> &)
{
    return m_error == NoError;
}

bool FuzzedRestClient::post(const QUrl &, const QJsonDocument &, const QHash<QString, QString> &)
{
    return m_error == NoError;
}

int FuzzedRestClient::lastError() const
{
    return m_error;
}

tr::Tr FuzzedRestClient::lastErrorText() const
{
    return tr::Tr(QStringLiteral("restClientError"), QStringLiteral("Ошибка обмена с сервером"));
}

QJsonDocument FuzzedRestClient::responseDocument() const
{
    return m_answer;
}

void FuzzedRestClient::setTimeout(qint64) {}

bool FuzzedRestClient::isTimedOut() const
{
    return m_timedOut;
}
