// The plug-in loaded as the host loads it: its set-up, then paying, cancelling and refunding
// against the simulator with the host queue in a real SQLite file. A row asserts the whole
// outcome: the result, the processing's log with the pauses in it, what the service received
// and what was queued.

#include "PluginTestBench.h"

#include "tests/SqlFile.h"

#include "api/Constants.h"
#include "api/Interface.h"

#include "host/BcodeParser.h"
#include "host/Finally.h"
#include "host/Session.h"
#include "host/payment/BasicSbpProcessing.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

using Status = PaymentProcessingResult::Status;
using Type = PaymentProcessingRequest::Type;

namespace {

const QString CreateOrder = QStringLiteral("/cpqr/operation/create");
const QString OrderReturn = QStringLiteral("/cpqr/operation/return");
const QString RefundId = QStringLiteral("refundId");
// The processing's log, a line each; the client numbers its identifiers "txn-1", "txn-2"...
const QString Initialised = QStringLiteral("DEBUG  интервал запроса статуса (сек): 0\n"
                                           "DEBUG  задержка запроса статуса (сек): 0\n");
const QString Sale = QStringLiteral("INFO Оплата в чеке продажи на сумму 150.50\n");
const QString Identified = QStringLiteral("INFO  идентификатор оплаты: txn-1\n");
const QString Started = Sale + Identified;
const QString Waited = QStringLiteral("INFO Ожидание %1 сек. перед запросом статуса\n");
const QString NotPaid = QStringLiteral("INFO Оплата еще не выполнена\n");
const QString Step = QStringLiteral("PAUSE 250 ms\n");
const QString Reset = QStringLiteral("INFO Состояние сессии сброшено\n");
const QString Paid = "INFO Оплата выполнена успешно\n" + Reset;
const QString PaidAtOnce = Identified + Waited.arg(0) + Paid;
const QString Queued = "INFO Отмена оплаты txn-1 через очередь\n" + Reset;
const QString Cancel = QStringLiteral("INFO Отмена оплаты на сумму 150.50\n");

PaymentProcessingRequest request(Type type, const QString &code, const QString &id = QString())
{
    return PluginTestBench::request(type, 15050, code, id);
}

// The number of items in the cart handed to the host; -1 without one.
int cartItems(const PaymentProcessingResult &result)
{
    const QJsonObject data = QJsonDocument::fromJson(result.additionalData.toUtf8()).object();
    return data.keys() == QStringList{"cart"} ? data["cart"]["items"].toArray().size() : -1;
}

enum class HostEvent { None, OtherCardRemoved, CustomerCardRemoved, ReceiptCancelled };
enum class CancelFrom { Host, RefundPayment, Queue };

} // namespace

Q_DECLARE_METATYPE(HostEvent)
Q_DECLARE_METATYPE(CancelFrom)

// A client that numbers the identifiers it gives: the processing must ask it through the
// virtual table, both for the order's identifier and for the refund id noted with it.
class NumberingInterface : public zorvikcpqr::Interface
{
public:
    QString createTransactionId() const override { return QString("txn-%1").arg(++ids); }

    mutable int ids = 0;
};

class PluginTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void configuration_data();
    void configuration();
    void payment_data();
    void payment();
    void sessionOnTheReceipt_data();
    void sessionOnTheReceipt();
    void cancel_data();
    void cancel();
    void damagedJournal_data();
    void damagedJournal();
    void unusableJournalLocation_data();
    void unusableJournalLocation();

private:
    NumberingInterface m_client;
};

void PluginTest::init()
{
    m_client.ids = 0;
    MockFactory<zorvikcpqr::Interface>::setSubstitute(&m_client);
}

void PluginTest::configuration_data()
{
    QTest::addColumn<QVariantMap>("settings");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("log");         // the processing's, in full
    QTest::addColumn<QString>("paymentCode"); // recognised as one; none with an invalid mask
    QTest::addColumn<QString>("otherCode");   // recognised as none

    const QString noted("DEBUG  интервал запроса статуса (сек): %1\n"
                        "DEBUG  задержка запроса статуса (сек): %2\n");
    QTest::newRow("defaults") << QVariantMap{{"statusRequestInterval", {}},
                                             {"statusRequestDelay", {}}}
                              << "^(?<sbpCpqr>ZVQR.*)$" << noted.arg(10).arg(5) << "ZVQR"
                              << " ZVQR";
    QTest::newRow("custom mask") << QVariantMap{{"statusRequestInterval", 3},
                                                {"paymentCodeMask", "^PAY-[0-9]+$"}}
                                 << "^PAY-[0-9]+$" << noted.arg(3).arg(0) << "PAY-7"
                                 << "ZVQR-PAY1";
    QTest::newRow("invalid mask")
        << QVariantMap{{"statusRequestDelay", -2}, {"paymentCodeMask", "("}} << "("
        << noted.arg(0).arg(-2)
               + "ERROR Некорректное значение параметра ZorvikCpqr:paymentCodeMask\n"
        << QString() << "ZVQR";
}

// Whatever its settings, the host finds a processing by QR code that it pays and refunds with
// and cancels sales by. The mask is offered to the scan dialog, registered with the host's
// barcode parser as a payment code, and tells which scanned codes open a session.
void PluginTest::configuration()
{
    QFETCH(QVariantMap, settings);
    QFETCH(QString, paymentCode);
    QFETCH(QString, otherCode);
    PluginTestBench bench;
    bench.configure(settings);
    BasicSbpProcessing *processing = bench.createProcessing();
    QTEST(bench.processingLog(), "log");
    QObject *object = dynamic_cast<QObject *>(processing);
    // The host picks its plug-ins by these before it loads one.
    QPluginLoader loader(PluginTestBench::pluginPath());
    QCOMPARE(loader.metaData().value("IID"), "ZorvikCpqrRegisterFactory");
    QCOMPARE(loader.metaData().value("className"), "ZorvikCpqrProcessingFactory");
    QCOMPARE(loader.instance()->metaObject()->className(),
             "zorvikcpqr::ZorvikCpqrProcessingFactory");
    QCOMPARE(QImage(":/zorvikcpqr/scan_token.png").size(), QSize(453, 350));
    QCOMPARE(object->metaObject()->className(), "zorvikcpqr::Processing");
    QCOMPARE(qobject_cast<BasicPaymentProcessing *>(object), processing);
    QVERIFY(processing->isPaymentEnable(PaymentProcessingRequest::Sale));
    QVERIFY(processing->isPaymentEnable(PaymentProcessingRequest::Refund));
    QVERIFY(processing->isCancelEnable(PaymentProcessingRequest::Sale));
    QVERIFY(!processing->isCancelEnable(PaymentProcessingRequest::Refund));
    QVERIFY(processing->checkOption(EPaymentProcessingOption::QrCodePayment));
    QVERIFY(processing->checkOption(processing::ProcessingEnabled));
    QVERIFY(processing->checkSbpOption(processing::CustomerPresentedQr));

    const QList<QRegularExpression> patterns = processing->getScanQrParams().codePatterns;
    QCOMPARE(patterns.size(), 1);
    QTEST(patterns.first().pattern(), "mask");
    QCOMPARE(processing->processCpqr(paymentCode).accepted, !paymentCode.isEmpty());
    QVERIFY(!processing->processCpqr(otherCode).recognized);
    QCOMPARE(bench.requests("/cpqr/start_session").size(), int(!paymentCode.isEmpty()));
    // Each processing keeps its own session: the code is asked again only of the other.
    QCOMPARE(processing->checkOption(processing::RequestPaymentCode), paymentCode.isEmpty());
    QVERIFY(bench.createProcessing()->checkOption(processing::RequestPaymentCode));
    // Registered once however often the processings are initialised.
    const BcodeParser *parser = Singleton<BcodeParser>::instance;
    QCOMPARE(parser->patternCount(), int(!paymentCode.isEmpty()));
    QCOMPARE(parser->kindOf(paymentCode), paymentCode.isEmpty() ? BcodeParser::UnknownKind : 32);
}

void PluginTest::payment_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("delay");       // seconds
    QTest::addColumn<int>("interval");    // seconds
    QTest::addColumn<int>("interruptAt"); // the step at which the cashier interrupts; 0: never
    QTest::addColumn<Status>("status");
    QTest::addColumn<QString>("messageId");
    QTest::addColumn<int>("cartItems");
    QTest::addColumn<QString>("log");

    const QString round = NotPaid + Step.repeated(4);
    QTest::newRow("paid at the first request")
        << "ZVQR-PAY1" << 2 << 1 << 0 << Status::Success << "" << 2
        << Started + Waited.arg(2) + "PAUSE 2 s\n" + Paid;
    QTest::newRow("paid at the third request, the second refused")
        << "ZVQR-PAY3-STATUSERR2" << 0 << 1 << 0 << Status::Success << "" << 2
        << Started + Waited.arg(0) + round + round + Paid;
    QTest::newRow("no interval: a step still")
        << "ZVQR-PAY2" << -1 << 0 << 0 << Status::Success << "" << 2
        << Started + Waited.arg(-1) + NotPaid + Step + Paid;
    QTest::newRow("declined") << "ZVQR-DECLINE2" << 0 << 1 << 0 << Status::Failure
                              << "zorvikCpqrPaymentDeclined" << 0
                              << Started + Waited.arg(0) + round + "WARN Оплата отклонена\n"
                                     + Reset;
    QTest::newRow("interrupted at the sixth step")
        << "ZVQR-NEVER" << 0 << 1 << 6 << Status::Interrupted << "" << -1
        << Started + Waited.arg(0) + round + NotPaid + Step.repeated(2) + "INFO Прерывание оплаты\n"
               + "WARN Оплата прервана\n" + Queued;
    QTest::newRow("order refused")
        << "ZVQR-ORDERERR" << 0 << 1 << 0 << Status::Failure << "zorvikCpqrError131" << -1
        << Sale + "ERROR Не удалось создать заказ\n" + Reset;
    QTest::newRow("session refused") << "ZVQR-SESSIONERR" << 0 << 1 << 0 << Status::Failure
                                     << "zorvikCpqrError110" << -1 << Sale;
    QTest::newRow("no session, no code")
        << "" << 0 << 1 << 0 << Status::Failure << "zorvikCpqrNoCpqr" << -1 << Sale + Reset;
}

void PluginTest::payment()
{
    QFETCH(QString, code);
    QFETCH(int, delay);
    QFETCH(int, interval);
    QFETCH(int, interruptAt);
    QFETCH(QString, log);
    PluginTestBench bench;
    bench.notePauses(interruptAt);
    bench.configure({{"statusRequestDelay", delay}, {"statusRequestInterval", interval}});
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openStandardReceipt();
    processing->interruptPayment(); // asked while no payment ran: it must not stop the next one
    bench.clearLog();

    const PaymentProcessingResult result = processing->payment(request(Type::Sale, code));
    QTEST(Status(result.status), "status");
    QTEST(result.message.id(), "messageId");
    QTEST(cartItems(result), "cartItems");
    QCOMPARE(bench.processingLog(), log);
    QVERIFY(processing->checkOption(processing::RequestPaymentCode));
    QCOMPARE(result.operationId, bench.orders().at(0)["client_transaction"].toString());
    const QJsonObject order = bench.requests(CreateOrder).value(0).json();
    if (!result.operationId.isEmpty())
        QCOMPARE(QStringList({order["cpqr_payload"].toString(), order["comment"].toString()}),
                 QStringList({code, "0012 03"}));

    const QList<QJsonObject> queued = bench.queuedMessages();
    QCOMPARE(queued.size(), int(log.contains(Queued)));
    if (queued.isEmpty())
        return;
    const QJsonObject cancellation{{"type", 1},
                                   {"amount", 15050},
                                   {"operationId", "txn-1"},
                                   {"paymentCode", code},
                                   {"valutCode", 643}};
    QCOMPARE(queued.first(),
             QJsonObject({{"request", cancellation}, {"valutCode", 643}, {RefundId, "txn-2"}}));
    bench.runQueue(processing);
    QCOMPARE(bench.requests(OrderReturn).value(0).json()[RefundId].toString(), "txn-2");
}

void PluginTest::sessionOnTheReceipt_data()
{
    QTest::addColumn<QString>("scanned");
    QTest::addColumn<int>("cardOnReceipt"); // the index of the session's card put there, or -1
    QTest::addColumn<QString>("defaultCard");
    QTest::addColumn<HostEvent>("event");     // before the payment
    QTest::addColumn<QString>("paymentCode"); // asked for exactly when the session is dropped
    QTest::addColumn<QString>("log");

    const QString paid = Sale + PaidAtOnce;
    const QString unavailable = Reset + Sale + Reset;
    QTest::newRow("its last card on the receipt")
        << "ZVQR-LOYALTY" << 3 << "D-42" << HostEvent::None << "" << paid;
    QTest::newRow("no cards at all") << "ZVQR-NOCARD" << -1 << "" << HostEvent::None << "" << paid;
    QTest::newRow("default card on the receipt")
        << "ZVQR-NOCARD" << 0 << "D-42" << HostEvent::None << "" << paid;
    QTest::newRow("default card not on the receipt")
        << "ZVQR-NOCARD" << -1 << "D-42" << HostEvent::None << "ZVQR-NEW"
        << Sale + "INFO Требуется повторный ввод платежного кода\n" + PaidAtOnce;
    QTest::newRow("another card removed")
        << "ZVQR-LOYALTY" << 3 << "" << HostEvent::OtherCardRemoved << "" << paid;
    QTest::newRow("customer's card removed")
        << "ZVQR-LOYALTY" << 3 << "" << HostEvent::CustomerCardRemoved << "" << unavailable;
    QTest::newRow("receipt cancelled")
        << "ZVQR-LOYALTY" << 3 << "" << HostEvent::ReceiptCancelled << "" << unavailable;
}

// The session opened when the code was scanned serves the payment while one of its cards is
// on the receipt; its cards are the merchant payload, then the loyalty ids, else the default.
void PluginTest::sessionOnTheReceipt()
{
    QFETCH(QString, scanned);
    QFETCH(QString, defaultCard);
    QFETCH(int, cardOnReceipt);
    QFETCH(HostEvent, event);
    QFETCH(QString, paymentCode);
    QFETCH(QString, log);
    PluginTestBench bench;
    bench.configure({{"defaultCardNumber", defaultCard}});
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openStandardReceipt({"1111"});

    const CpqrCheckResult check = processing->processCpqr(scanned);
    const QJsonObject session = bench.simulator().state()["sessions"][0].toObject();
    QStringList cards = session["loyalty"]["loyalty_ids"].toVariant().toStringList();
    if (session.contains("merchant_payload"))
        cards.prepend(session["merchant_payload"].toString());
    QCOMPARE(check.cardNumbers,
             cards.isEmpty() && !defaultCard.isEmpty() ? QStringList{defaultCard} : cards);
    const QSharedPointer<AbstractDocument> receipt = Singleton<Session>::instance->getDocument();
    if (cardOnReceipt >= 0)
        receipt->addCard(check.cardNumbers.value(cardOnReceipt));
    bench.clearLog();
    if (event == HostEvent::ReceiptCancelled)
        processing->onDocumentCancel();
    if (event == HostEvent::OtherCardRemoved || event == HostEvent::CustomerCardRemoved) {
        receipt->removeCard(event == HostEvent::OtherCardRemoved ? "1111"
                                                                 : check.cardNumbers.last());
        processing->onCardDelete();
    }

    const PaymentProcessingResult result = processing->payment(request(Type::Sale, paymentCode));
    QCOMPARE(result.status, log.contains(Paid) ? Status::Success : Status::Failure);
    QCOMPARE(bench.processingLog(), log);
    QStringList started; // by the scanned code, then by the request's code if it has one
    for (const zorviksim::ReceivedRequest &start : bench.requests("/cpqr/start_session"))
        started.append(start.json()["cpqr_payload"].toString());
    QCOMPARE(started.join(' '), QString(scanned + ' ' + paymentCode).trimmed());
}

void PluginTest::cancel_data()
{
    QTest::addColumn<QString>("code"); // of the payment cancelled; none: an unknown order
    QTest::addColumn<CancelFrom>("from");
    QTest::addColumn<QString>("log"); // a reset tells a return asked for
    QTest::addColumn<QString>("messageId");

    const QString returned
        = Cancel + "INFO Заказ был успешно оплачен, будет выполнен возврат\n" + Reset;
    QTest::newRow("paid, by the host") << "ZVQR-PAY1" << CancelFrom::Host << returned << "";
    QTest::newRow("paid, as a refund payment")
        << "ZVQR-PAY1" << CancelFrom::RefundPayment
        << "INFO Оплата в чеке возврата на сумму 150.50\n" + returned << "";
    QTest::newRow("paid, queued refund id not text")
        << "ZVQR-PAY1" << CancelFrom::Queue
        << "INFO Обработка сообщения из очереди\nERROR Некорректный идентификатор возврата в "
           "сообщении очереди, возврат по операции txn-1 получит новый\n"
               + returned
        << "";
    QTest::newRow("state unreadable")
        << "ZVQR-PAY1-NOTJSON2" << CancelFrom::Host
        << Cancel + "ERROR Неизвестное состояние заказа\n" + Reset << "";
    QTest::newRow("registered: return refused")
        << "ZVQR-NEVER" << CancelFrom::Host
        << Cancel + "INFO Заказ зарегистрирован, но состояние неизвестно\n" + Reset
        << "zorvikCpqrError160";
    QTest::newRow("declined: nothing to do")
        << "ZVQR-DECLINE" << CancelFrom::Host << Cancel + "INFO Дальнейшая обработка не требуется\n"
        << "";
    QTest::newRow("status request refused")
        << "" << CancelFrom::Host << Cancel + "ERROR Не удалось получить статус заказа\n"
        << "zorvikCpqrError140";
}

// A session open at the cancellation ends exactly when a return is asked for; a payment that has
// ended leaves no unsettled return, so the return takes an id of its own.
void PluginTest::cancel()
{
    QFETCH(QString, code);
    QFETCH(CancelFrom, from);
    QFETCH(QString, log);
    QFETCH(QString, messageId);
    PluginTestBench bench;
    bench.notePauses(1);
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openStandardReceipt();
    const QString id = code.isEmpty() ? "unknown-order"
                                      : processing->payment(request(Type::Sale, code)).operationId;
    QVERIFY(processing->processCpqr("ZVQR-PAY9").accepted);
    bench.runQueue(processing); // what the payment left there
    const qsizetype queued = bench.queuedMessages().size();
    const qsizetype returnsBefore = bench.requests(OrderReturn).size();
    bench.clearLog();

    PaymentProcessingResult result;
    // A queued refund id that is no text is replaced by a new one.
    const QVariantMap message{{"request", QVariantMap{{"operationId", id}, {"amount", 15050}}},
                              {RefundId, 7}};
    if (from == CancelFrom::Queue)
        result.status
            = processing->sendEnqueuedMessage(message) ? Status::Success : Status::Failure;
    else if (from == CancelFrom::Host)
        result = processing->cancel(request(Type::Sale, QString(), id));
    else
        result = processing->payment(request(Type::Refund, QString(), id));
    QCOMPARE(result.status, messageId.isEmpty() ? Status::Success : Status::Failure);
    QCOMPARE(result.message.id(), messageId);
    QCOMPARE(bench.processingLog(), log);
    QCOMPARE(processing->checkOption(processing::RequestPaymentCode), log.contains(Reset));
    QCOMPARE(bench.queuedMessages().size(), queued);

    const QList<zorviksim::ReceivedRequest> returns
        = bench.requests(OrderReturn).mid(returnsBefore);
    QCOMPARE(returns.size(), int(log.contains(Reset)));
    const QString sent = returns.value(0).json()[RefundId].toString();
    QCOMPARE(sent, returns.isEmpty() ? "" : "txn-3");
    if (from != CancelFrom::Queue)
        QCOMPARE(result.operationId, result.status == Status::Success ? sent : QString());
    QCOMPARE(result.slipCopies, returns.isEmpty() && result.status == Status::Success ? 0 : 2);
}

void PluginTest::damagedJournal_data()
{
    QTest::addColumn<QByteArray>("bytes");       // written as the file
    QTest::addColumn<QStringList>("statements"); // then run on it
    QTest::addColumn<QString>("log");            // up to the order's id; %1: the journal's path
    QTest::addColumn<QByteArray>("kept");        // what the file still holds after the payment

    const QString unusable = "ERROR Журнал оплат %1 недоступен: %2\n" + Sale
                             + "ERROR Не удалось записать оплату txn-1 в журнал оплат %1: %2\n";
    const QByteArray corrupt("not a database at all, but long enough to look like one");
    QTest::newRow("corrupt") << corrupt << QStringList()
                             << unusable.arg("%1", "file is not a database Unable to fetch row")
                             << corrupt;
    QTest::newRow("from a later version")
        << QByteArray() << QStringList{"CREATE TABLE later (x)", "PRAGMA user_version = 4"}
        << unusable.arg("%1", "версия файла 4 новее поддерживаемой 3") << QByteArray("later (x)");
    QTest::newRow("an entry that cannot be read")
        << QByteArray()
        << QStringList{"CREATE TABLE payments (client_transaction TEXT PRIMARY KEY, process "
                       "TEXT NOT NULL, cancellation TEXT NOT NULL, created_at INTEGER NOT NULL)",
                       "PRAGMA user_version = 1",
                       "INSERT INTO payments VALUES ('ct-dead', 'x/1/1', '{\"request', 0)"}
        << "ERROR Запись журнала оплат ct-dead не читается, оставлена в %1\n" + Sale
        << QByteArray("ct-dead");
}

// A journal the processing cannot use is left as it is for support to look at: payments go on,
// each saying that it went unnoted, and returns wait for it.
void PluginTest::damagedJournal()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, statements);
    QFETCH(QString, log);
    QFETCH(QByteArray, kept);
    PluginTestBench bench;
    const QString path = bench.journalPath();
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    QVERIFY(statements.isEmpty() || runOnSqlFile(path, statements));

    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openStandardReceipt();
    const PaymentProcessingResult paid = processing->payment(request(Type::Sale, "ZVQR-PAY1"));
    QCOMPARE(paid.status, Status::Success);
    QCOMPARE(bench.processingLog(), Initialised + log.arg(path) + PaidAtOnce);
    QVERIFY(bench.queuedMessages().isEmpty());
    // A return needs its refund id remembered: without the journal it waits.
    const PaymentProcessingResult returned
        = processing->cancel(request(Type::Sale, QString(), paid.operationId));
    QCOMPARE(returned.message.id(),
             kept == "ct-dead" ? QString() : QStringLiteral("zorvikCpqrReturnNotRecorded"));
    QCOMPARE(bench.requests(OrderReturn).size(), int(kept == "ct-dead"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains(kept));
}

void PluginTest::unusableJournalLocation_data()
{
    QTest::addColumn<QString>("setting"); // the journal's file; null: not set; %1: a folder
    QTest::addColumn<QString>("log");     // up to the order's id; %1: that folder

    const QString refused = "ERROR Некорректное значение параметра ZorvikCpqr:journalFile: '%1', "
                            "оплаты не записываются в журнал\n"
                            + Sale;
    const QString unusable = "ERROR Журнал оплат %1 недоступен: %2\n" + Sale
                             + "ERROR Не удалось записать оплату txn-1 в журнал оплат %1: %2\n";
    const QString cannotOpen
        = QStringLiteral("unable to open database file Error opening database");
    QTest::newRow("not set, at a machine that is no till")
        << QString()
        << "ERROR Папка журнала оплат /trelmo/cash/paysystems/zorvikcpqr не существует, оплаты "
           "не записываются в журнал\n"
               + Sale;
    QTest::newRow("in a folder that does not exist")
        << "%1/missing/zorvikcpqr-journal.sqlite"
        << "ERROR Папка журнала оплат %1/missing не существует, оплаты не записываются в "
           "журнал\n"
               + Sale;
    QTest::newRow("empty") << "" << refused.arg("");
    QTest::newRow("relative") << "zorvikcpqr-journal.sqlite"
                              << refused.arg("zorvikcpqr-journal.sqlite");
    QTest::newRow("a folder") << "%1" << unusable.arg("%1", cannotOpen);
}

// A journal that cannot be where it is configured is not made anywhere else: the working folder,
// the home folder and the queue's folder get nothing, and payments go on.
void PluginTest::unusableJournalLocation()
{
    QFETCH(QString, setting);
    QFETCH(QString, log);
    QVERIFY2(!QFileInfo::exists(zorvikcpqr::Constants::PluginFolder),
             "this machine is a till: the plug-in's folder exists");
    const bool rootHadJournal = QFileInfo::exists("/" + zorvikcpqr::Constants::JournalFileName);
    QTemporaryDir workingFolder;
    QTemporaryDir home;
    const QString previousFolder = QDir::currentPath();
    const QByteArray previousHome = qgetenv("HOME");
    QVERIFY(workingFolder.isValid() && home.isValid() && QDir::setCurrent(workingFolder.path()));
    qputenv("HOME", home.path().toUtf8());
    const Finally restored([&] {
        QDir::setCurrent(previousFolder);
        qputenv("HOME", previousHome);
    });

    PluginTestBench bench;
    const QString benchFolder = QFileInfo(bench.journalPath()).path();
    bench.configure(
        {{zorvikcpqr::Constants::JournalFileKey,
          setting.isNull() ? QVariant() : QVariant(setting.replace("%1", benchFolder))}});
    BasicSbpProcessing *processing = bench.createProcessing();
    bench.openStandardReceipt();
    const PaymentProcessingResult paid = processing->payment(request(Type::Sale, "ZVQR-PAY1"));
    QCOMPARE(paid.status, Status::Success);
    QCOMPARE(bench.processingLog(), Initialised + log.replace("%1", benchFolder) + PaidAtOnce);
    QCOMPARE(QDir(workingFolder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList());
    QCOMPARE(QDir(home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    QCOMPARE(QDir(benchFolder).entryList({"*journal*"}), QStringList());
    QCOMPARE(QFileInfo::exists("/" + zorvikcpqr::Constants::JournalFileName), rootHadJournal);
}

QTEST_GUILESS_MAIN(PluginTest)
#include "tst_plugin.moc"
