#pragma once

#include "sim/Scenario.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace zorviksim {

// A quick-pay session opened for one scanned payment code. Its identifiers are derived from the
// code, so that scanning the same code again gives the same session, as with the real service.
struct QuickPaySession
{
    QString quickpayId;
    QString cpqrPayload;
    QString merchantPayload;
    QStringList loyaltyIds;
    Scenario scenario;
    // Orders registered in the session, which the scenario's order faults count.
    int orderRequests = 0;

    static QuickPaySession open(const QString &cpqrPayload, const Scenario &scenario);

    // The answer of "/cpqr/start_session".
    QJsonObject answer() const;
    QJsonObject toJson() const;
};

} // namespace zorviksim
