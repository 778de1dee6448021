#pragma once

#include "host/Tr.h"

#include <QJsonObject>
#include <QString>

namespace zorvikcpqr {

// The outcome of one exchange with the Zorvik service: what the REST client reported and the
// service's answer. Subclasses read the members of their endpoint's answer; every reader looks
// the member up anew and gives a default for a member that is absent or of another JSON type.
class RequestResult
{
public:
    virtual ~RequestResult() = default;

    // No transport failure and no error code from the service. An error message alone does
    // not fail the exchange.
    virtual bool success() const;

    // "codeError", 0 when the service reported none.
    int errorCode() const;
    // "error" when the answer carries it as text (empty text included), else the default.
    QString error(const QString &defaultValue) const;
    // The id of the operator text for the service's error code.
    QString errorDescriptionTrId() const;
    // The operator text: the exchange's own text when it set one, else the service's error.
    tr::Tr getError() const;

    bool transportError = false;
    bool timedOut = false;
    tr::Tr errorText;
    QJsonObject json;

protected:
    // A top-level member that is a whole number within the int range, else the default.
    int integerMember(const QString &name, int defaultValue) const;
    // A top-level member that is text, else the default.
    QString textMember(const QString &name, const QString &defaultValue = QString()) const;
};

} // namespace zorvikcpqr
