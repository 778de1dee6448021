#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

namespace zorviksim {

// A return accepted against a paid order. Its "refundId" makes a repeated request harmless.
struct Refund
{
    QString refundId;
    QString clientTransaction;
    qint64 costKopecks = 0;
    // The refund cart as the client sent it; undefined when it sent none.
    QJsonValue refundCart;

    // The answer of "/cpqr/operation/return", the same each time the return is asked for.
    QJsonObject answer() const;
    QJsonObject toJson() const;
};

} // namespace zorviksim
