#include "till/PluginHost.h"

#include "host/payment/AbstractProcessingFactory.h"
#include "host/payment/BasicSbpProcessing.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

PluginHost::PluginHost() = default;

PluginHost::~PluginHost()
{
    // The processing comes from the library: destroy it while the library is still loaded.
    m_processing.reset();
}

QString PluginHost::defaultPluginPath()
{
    const QDir toolDir(QCoreApplication::applicationDirPath());
    const QStringList candidates{toolDir.filePath(QStringLiteral("libzorvikcpqr.so")),
                                 toolDir.filePath(QStringLiteral(ZORVIK_INSTALLED_PLUGIN))};
    for (const QString &candidate : candidates) {
        if (QFileInfo::exists(candidate))
            return QDir::cleanPath(candidate);
    }
    return candidates.first();
}

bool PluginHost::load(const QString &path, QString *errorMessage)
{
    m_loader.setFileName(path);
    QObject *root = m_loader.instance();
    if (!root) {
        *errorMessage
            = QStringLiteral("cannot load the plug-in %1: %2").arg(path, m_loader.errorString());
        return false;
    }
    m_factory = qobject_cast<AbstractProcessingFactory *>(root);
    if (!m_factory) {
        *errorMessage = QStringLiteral("%1 is not a processing plug-in").arg(path);
        return false;
    }
    BasicPaymentProcessing *created = m_factory->createProcessing();
    auto *sbpProcessing = dynamic_cast<BasicSbpProcessing *>(created);
    if (!sbpProcessing) {
        delete created;
        *errorMessage = QStringLiteral("%1 does not provide QR code payment").arg(path);
        return false;
    }
    m_processing.reset(sbpProcessing);
    m_processing->init(PaymentProcessingContext());
    return true;
}

QObject *PluginHost::processingObject() const
{
    return dynamic_cast<QObject *>(m_processing.get());
}
