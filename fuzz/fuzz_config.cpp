// Any text as the plug-in's configuration file, through the processing's init and then the
// uses of what it set: the payment-code pattern, the scan dialog, the service address and the
// order comment.

#include "fuzz/FuzzHost.h"

#include "api/Constants.h"

#include "host/HostPaths.h"
#include "processing/Processing.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

namespace {

// Lives as long as the process; the file in it is rewritten for every input.
QTemporaryDir *configDir = nullptr;

// Qt's settings cache takes a file of unchanged size and modification time for the one it read
// before, and runs follow each other within a millisecond: every input gets a modification time
// of its own, one second after the one before.
QString writeConfig(const QByteArray &content)
{
    static QDateTime modified = QDateTime::currentDateTimeUtc();
    modified = modified.addSecs(1);
    const QString path = configDir->filePath(QStringLiteral("zorvikcpqr.ini"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(content);
        file.flush(); // else closing would write the content, and the time, afterwards
        file.setFileTime(modified, QFileDevice::FileModificationTime);
    }
    return path;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzhost::prepare();
    configDir = new QTemporaryDir;
    return configDir->isValid() ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    HostPaths::setOverride(zorvikcpqr::Constants::ConfigPath,
                           writeConfig(fuzzhost::bytes(data, size)));
    fuzzhost::resetBarcodeParser();

    zorvikcpqr::Processing processing;
    processing.init(PaymentProcessingContext());
    processing.isPaymentCode(QStringLiteral("ZVQR0123456789"));
    processing.getScanQrParams();
    // A client of the service configured from the same file, as the till makes for its support
    // queries.
    zorvikcpqr::Interface apiClient;
    apiClient.init();
    apiClient.formUrl(QStringLiteral("/cpqr/start_session"));
    apiClient.createClient();
    apiClient.getComment();
    return 0;
}
