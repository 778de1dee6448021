#include "fuzz/FuzzHost.h"

#include "fuzz/DiscardingAppender.h"

#include "api/Constants.h"

#include "host/AbstractDocument.h"
#include "host/BcodeParser.h"
#include "host/Config.h"
#include "host/DBQueueBroker.h"
#include "host/GoodsItem.h"
#include "host/Session.h"
#include "host/log4qt/LogManager.h"

#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdio>

namespace fuzzhost {

namespace {

// Qt's own warnings about odd input are expected by the thousand; only a fatal message, which
// aborts the run anyway, is worth showing.
void dropQtMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

// A receipt as the till holds it while a customer pays: two positions and the customer's card.
QSharedPointer<AbstractDocument> openReceipt()
{
    const auto receipt = QSharedPointer<AbstractDocument>::create(42, 3);
    receipt->addGoodsItem(QSharedPointer<GoodsItem>::create(
        QStringLiteral("4600000000011"), 1, QStringLiteral("Хлеб"), 1.0, 45.9));
    receipt->addGoodsItem(QSharedPointer<GoodsItem>::create(
        QStringLiteral("4600000000028"), 2, QStringLiteral("Молоко"), 2.0, 179.8));
    receipt->addCard(QStringLiteral("CARD-1"));
    return receipt;
}

} // namespace

void prepare()
{
    qInstallMessageHandler(dropQtMessages);
    Log4Qt::LogManager::setThreshold(Log4Qt::Level::Error);
    // Lives as long as the process: the log manager keeps using it.
    Log4Qt::LogManager::addAppender(new DiscardingAppender);
    singletonInstance<Session>()->setDocument(openReceipt());
    // The host queue and the payment journal stay in a folder of their own, whatever a fuzzed
    // configuration names. Both live as long as the process.
    static QTemporaryDir hostFolder;
    Singleton<DBQueueBroker>::instance
        = new DBQueueBroker(hostFolder.filePath(QStringLiteral("queue.sqlite")));
    singletonInstance<Config>()->setOverride(
        zorvikcpqr::Constants::configKey(zorvikcpqr::Constants::JournalFileKey),
        hostFolder.filePath(zorvikcpqr::Constants::JournalFileName));
}

void resetBarcodeParser()
{
    delete Singleton<BcodeParser>::instance;
    Singleton<BcodeParser>::instance = nullptr;
}

QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
}

QString text(const uint8_t *data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
}

} // namespace fuzzhost
