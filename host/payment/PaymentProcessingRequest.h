#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

// The host's request to a processing. Its properties are what a queued request carries.
class PaymentProcessingRequest
{
    Q_GADGET
    Q_PROPERTY(int type READ typeValue WRITE setTypeValue)
    Q_PROPERTY(qint64 amount MEMBER amount)
    Q_PROPERTY(QString operationId MEMBER operationId)
    Q_PROPERTY(QString paymentCode MEMBER paymentCode)
    Q_PROPERTY(int valutCode MEMBER valutCode)

public:
    // Every int is a value of the type: a queued message may carry any number as "type".
    enum Type : int {
        Undefined = 0,
        Sale = 1,
        Cancel = 2,
        Refund = 3,
    };

    Type type = Undefined;
    qint64 amount = 0;   // kopecks
    QString operationId; // the payment to cancel or return
    QString paymentCode; // the scanned customer's code
    int valutCode = 0;   // ISO 4217 numeric currency code

    int typeValue() const { return type; }
    void setTypeValue(int value) { type = static_cast<Type>(value); }
};

Q_DECLARE_METATYPE(PaymentProcessingRequest)
