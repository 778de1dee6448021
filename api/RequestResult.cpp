#include "api/RequestResult.h"

namespace zorvikcpqr {

bool RequestResult::success() const
{
    return !transportError && errorCode() == 0;
}

int RequestResult::errorCode() const
{
    return integerMember(QStringLiteral("codeError"), 0);
}

QString RequestResult::error(const QString &defaultValue) const
{
    return textMember(QStringLiteral("error"), defaultValue);
}

QString RequestResult::errorDescriptionTrId() const
{
    const int code = errorCode();
    if (code != 0)
        return QStringLiteral("zorvikCpqrError%1").arg(code);
    return QStringLiteral("zorvikCpqrUnknownError");
}

tr::Tr RequestResult::getError() const
{
    if (!errorText.isEmpty())
        return errorText;
    return tr::Tr(errorDescriptionTrId(), error(QStringLiteral("Неизвестная ошибка")));
}

int RequestResult::integerMember(const QString &name, int defaultValue) const
{
    // toInt() already refuses text, fractions and numbers beyond the int range.
    return json.value(name).toInt(defaultValue);
}

QString RequestResult::textMember(const QString &name, const QString &defaultValue) const
{
    return json.value(name).toString(defaultValue);
}

} // namespace zorvikcpqr
