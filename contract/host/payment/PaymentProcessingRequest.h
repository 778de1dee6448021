#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

// The host's request, a gadget whose properties are its fields. The names of the types are our
// own: the host fixes them as numbers only.
class PaymentProcessingRequest
{
    Q_GADGET

public:
    enum Type : int { Sale = 1, Refund = 3 };

    Type type;
    qint64 amount;
    QString operationId;
    QString paymentCode;
    int valutCode;
};
