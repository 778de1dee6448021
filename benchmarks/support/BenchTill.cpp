#include "BenchTill.h"

#include "api/Constants.h"
#include "api/Interface.h"

#include "host/Config.h"
#include "host/DBQueueBroker.h"
#include "host/HostPaths.h"
#include "host/Session.h"
#include "host/payment/AbstractProcessingFactory.h"
#include "host/payment/BasicSbpProcessing.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

BenchTill::BenchTill()
{
    if (!m_dir.isValid()) {
        m_errorString = QStringLiteral("cannot make a temporary directory");
        return;
    }
    if (!m_simulator.start()) {
        m_errorString = QStringLiteral("the simulator cannot listen on 127.0.0.1");
        return;
    }
    if (!writeConfiguration())
        return;
    prepareHost(configPath(), queuePath());
}

BenchTill::~BenchTill()
{
    // The processing object comes from the library: it goes while the library is loaded.
    m_processing.reset();
    releaseHost();
}

QString BenchTill::pluginPath()
{
    return QDir(QCoreApplication::applicationDirPath())
        .filePath(QStringLiteral("libzorvikcpqr.so"));
}

QString BenchTill::configPath() const
{
    return m_dir.filePath(QStringLiteral("zorvikcpqr.ini"));
}

QString BenchTill::queuePath() const
{
    return m_dir.filePath(QStringLiteral("queue.sqlite"));
}

BasicSbpProcessing *BenchTill::processing()
{
    if (m_processing || !m_errorString.isEmpty())
        return m_processing.get();
    m_loader.setFileName(pluginPath());
    auto *factory = qobject_cast<AbstractProcessingFactory *>(m_loader.instance());
    if (!factory) {
        m_errorString = m_loader.errorString();
        return nullptr;
    }
    m_processing.reset(dynamic_cast<BasicSbpProcessing *>(factory->createProcessing()));
    if (!m_processing) {
        m_errorString = QStringLiteral("the plug-in's processing is no QR code processing");
        return nullptr;
    }
    m_processing->init(PaymentProcessingContext());
    return m_processing.get();
}

std::unique_ptr<zorvikcpqr::Interface> BenchTill::createClient() const
{
    singletonInstance<Config>()->loadFile(zorvikcpqr::Constants::ConfigPath,
                                          QStringLiteral("zorvikcpqr"));
    auto client = std::make_unique<zorvikcpqr::Interface>();
    client->init();
    return client;
}

void BenchTill::prepareHost(const QString &configPath, const QString &queuePath)
{
    HostPaths::setOverride(zorvikcpqr::Constants::ConfigPath, configPath);
    delete Singleton<Session>::instance;
    Singleton<Session>::instance = new Session;
    delete Singleton<DBQueueBroker>::instance;
    Singleton<DBQueueBroker>::instance = new DBQueueBroker(queuePath);
}

void BenchTill::releaseHost()
{
    delete Singleton<DBQueueBroker>::instance;
    Singleton<DBQueueBroker>::instance = nullptr;
    HostPaths::clearOverrides();
}

bool BenchTill::writeConfiguration()
{
    QFile file(configPath());
    if (!file.open(QIODevice::WriteOnly)) {
        m_errorString = file.errorString();
        return false;
    }
    // The journal is written on every payment: a till pays for it too.
    file.write(
        QStringLiteral("[zorvikcpqr]\n"
                       "url=%1\n"
                       "statusRequestInterval=0\n"
                       "statusRequestDelay=0\n"
                       "journalFile=%2\n")
            .arg(m_simulator.baseUrl(), m_dir.filePath(zorvikcpqr::Constants::JournalFileName))
            .toUtf8());
    return true;
}
