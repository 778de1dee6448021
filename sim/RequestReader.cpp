#include "sim/RequestReader.h"

namespace zorviksim {

RequestReader::RequestReader(const QJsonObject &body)
    : m_body(body)
{}

QString RequestReader::text(const QString &key, Emptiness emptiness)
{
    const QJsonValue value = m_body.value(key);
    if (!value.isString() || (emptiness == Emptiness::Refused && value.toString().isEmpty()))
        refuse(key);
    return value.toString();
}

QString RequestReader::optionalText(const QString &key)
{
    const QJsonValue value = m_body.value(key);
    if (!value.isUndefined() && !value.isString())
        refuse(key);
    return value.toString();
}

double RequestReader::number(const QString &key)
{
    const QJsonValue value = m_body.value(key);
    if (!value.isDouble())
        refuse(key);
    return value.toDouble();
}

QJsonValue RequestReader::optionalObject(const QString &key)
{
    const QJsonValue value = m_body.value(key);
    if (!value.isUndefined() && !value.isObject())
        refuse(key);
    return value;
}

void RequestReader::refuse(const QString &key)
{
    if (m_refusal)
        return;
    m_refusal = ServiceReply::failure(
        ErrorCode::InvalidRequest,
        QStringLiteral("Некорректный запрос: поле \"%1\" отсутствует или имеет неверный тип")
            .arg(key),
        400);
}

} // namespace zorviksim
