#pragma once

#include <QString>

// Names that the plug-in, the till and their tests must spell alike.
namespace zorvikcpqr::Constants {

// The plug-in's own folder at the till, and its configuration file there.
inline const QString PluginFolder = QStringLiteral("/trelmo/cash/paysystems/zorvikcpqr/");
inline const QString ConfigPath = PluginFolder + QStringLiteral("zorvikcpqr.ini");
// Every key of the plug-in's configuration is read as this prefix (its section) and the key.
inline const QString ConfigPrefix = QStringLiteral("zorvikcpqr:");
inline QString configKey(const QString &key)
{
    return ConfigPrefix + key;
}
// Defaults of the settings that have one.
inline constexpr int DefaultTimeoutSeconds = 10;
inline constexpr int DefaultStatusRequestIntervalSeconds = 10;
inline constexpr int DefaultStatusRequestDelaySeconds = 5;
// The payment journal: a file the plug-in owns, in its own folder unless configured.
inline const QString JournalFileKey = QStringLiteral("journalFile");
inline const QString JournalFileName = QStringLiteral("zorvikcpqr-journal.sqlite");
inline const QString DefaultJournalFile = PluginFolder + JournalFileName;
// The host queue that holds deferred cancellations.
inline const QString CancelQueue = QStringLiteral("processing");
// The queue message's key for the refund id that every attempt of its return sends.
inline const QString RefundIdKey = QStringLiteral("refundId");
// The valut code of the rouble, the currency of every request of a till.
inline constexpr int RoubleCode = 643;
// The scan dialog's picture, a resource of the plug-in.
inline const QString ScanPicturePath = QStringLiteral(":/zorvikcpqr/scan_token.png");

} // namespace zorvikcpqr::Constants
