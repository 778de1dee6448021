#pragma once

#include <QString>

// Names that the plug-in, the till and their tests must spell alike.
namespace zorvikcpqr::Constants {

// The host path of the plug-in's configuration file.
inline const QString ConfigPath
    = QStringLiteral("/trelmo/cash/paysystems/zorvikcpqr/zorvikcpqr.ini");
// The host queue that holds deferred cancellations.
inline const QString CancelQueue = QStringLiteral("processing");
// The queue message's key for the refund id that every attempt of its return sends.
inline const QString RefundIdKey = QStringLiteral("refundId");
// The valut code of the rouble, the currency of every request of a till.
inline constexpr int RoubleCode = 643;
// The scan dialog's picture, a resource of the plug-in.
inline const QString ScanPicturePath = QStringLiteral(":/zorvikcpqr/scan_token.png");

} // namespace zorvikcpqr::Constants
