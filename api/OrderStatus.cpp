#include "api/OrderStatus.h"

#include <QHash>

namespace zorvikcpqr {

OrderStatus orderStatusFromText(const QString &text)
{
    static const QHash<QString, OrderStatus> statusByText{
        {QStringLiteral("started"), OrderStatus::Started},
        {QStringLiteral("waiting_for_approve"), OrderStatus::WaitingForApprove},
        {QStringLiteral("failed"), OrderStatus::Failed},
    };
    return statusByText.value(text, OrderStatus::Undefined);
}

} // namespace zorvikcpqr
