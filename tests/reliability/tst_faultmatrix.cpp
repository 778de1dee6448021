// The fault matrix: one exchange of a payment or a return fails, by a fault of the service or of
// the till's configuration. For each: what the cashier is told and the log warns of, what is
// queued, and how the service's books stand once it recovers and the queue has run.

#include "FaultMatrixBench.h"

#include <QTest>

using Breakage = FaultMatrixBench::Breakage;
using Status = PaymentProcessingResult::Status;

class FaultMatrixTest : public QObject
{
    Q_OBJECT

public:
    // How a return is asked again after its first attempt failed.
    enum class Repeat { Deferred, AskedAgain, QueuedFromTheStart };
    Q_ENUM(Repeat)

private Q_SLOTS:
    void payment_data();
    void payment();
    void statusBeforeReturn_data();
    void statusBeforeReturn();
    void returnRequest_data();
    void returnRequest();
};

// A fault of the service that spoils one answer, by its scenario word and what the cashier is
// told of it.
struct ServiceFault
{
    const char *name;
    const char *word;
    const char *messageId;
};

const ServiceFault AnswerFaults[] = {
    {"time-out", "SLOW", "restClientTimeout"},
    {"connection dropped", "DROP", "restClientConnectionBroken"},
    {"HTTP 500 with HTML", "HTML", "restClientHttpError"},
    {"oversized body", "HUGE", "restClientResponseTooLarge"},
};

// A payment whose exchange fails: the customer's code is scanned while the service works, then
// the exchange that registers the order, or the status request of the waiting payment, fails.
// The payment tells its order's id once the order's registration was answered.
void FaultMatrixTest::payment_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<Breakage>("breakage");
    QTest::addColumn<Status>("status");
    QTest::addColumn<QString>("messageId");
    QTest::addColumn<QString>("logged"); // warnings and errors
    QTest::addColumn<int>("queued");
    QTest::addColumn<QString>("books");

    const QString failed = QStringLiteral("ERROR Не удалось создать заказ");
    // The request never left the till, or was refused: nothing to undo.
    const QString untouched = QStringLiteral("none | start_session 1");
    QTest::newRow("order creation, refused connection")
        << "ZVQR-PAY1" << Breakage::ClosedPort << Status::Failure << "restClientConnectionFailed"
        << failed << 0 << untouched;
    QTest::newRow("order creation, unknown host")
        << "ZVQR-PAY1" << Breakage::UnknownHost << Status::Failure << "restClientConnectionFailed"
        << failed << 0 << untouched;
    QTest::newRow("order creation, wrong api-key")
        << "ZVQR-PAY1" << Breakage::WrongApiKey << Status::Failure << "zorvikCpqrError401"
        << "ERROR  сообщение об ошибке: 'Доступ запрещён: неверный api-key или user-token'; "
           "ERROR  код ошибки: '401'; ERROR Не удалось создать заказ"
        << 0 << "none | start_session 1, create 1";
    // The order may have been registered, and a server error may come after it was; or the
    // service paid the order at the status request and only its answer was lost. Either way
    // the queued cancellation asks for the status and returns the money.
    for (const ServiceFault &fault : AnswerFaults) {
        QTest::addRow("order creation, %s", fault.name)
            << QStringLiteral("ZVQR-PAY1-ORDER%1").arg(fault.word) << Breakage::None
            << Status::Failure << fault.messageId << failed << 1
            << "paid+returned | start_session 1, create 1, result 1, return 1";
        QTest::addRow("status, %s", fault.name)
            << QStringLiteral("ZVQR-PAY1-STATUS%1").arg(fault.word) + '1' << Breakage::None
            << Status::Failure << fault.messageId << "" << 1
            << "paid+returned | start_session 1, create 1, result 2, return 1";
    }
    // An unreadable answer with HTTP 200 carries no error and is no order state: the payment
    // asks for the order's status (again), and the order is paid.
    const QString unreadable = QStringLiteral("ERROR Некорректный ответ от сервера (нет данных)");
    QTest::newRow("order creation, not JSON")
        << "ZVQR-PAY1-ORDERNOTJSON" << Breakage::None << Status::Success << "" << unreadable << 0
        << "paid | start_session 1, create 1, result 1";
    QTest::newRow("status, not JSON")
        << "ZVQR-PAY1-STATUSNOTJSON1" << Breakage::None << Status::Success << "" << unreadable << 0
        << "paid | start_session 1, create 1, result 2";
}

void FaultMatrixTest::payment()
{
    QFETCH(QString, code);
    QFETCH(Breakage, breakage);
    FaultMatrixBench matrix;
    QVERIFY(matrix.scan(code));
    matrix.setBreakage(breakage);

    const PaymentProcessingResult result = matrix.pay();
    QTEST(Status(result.status), "status");
    QTEST(result.message.id(), "messageId");
    QTEST(matrix.problems(), "logged");
    QCOMPARE(result.operationId.isEmpty(), matrix.problems().contains(QStringLiteral("создать")));
    QTEST(int(matrix.queued().size()), "queued");
    QTEST(matrix.recover(), "books");
}

void FaultMatrixTest::statusBeforeReturn_data()
{
    QTest::addColumn<Breakage>("breakage");
    QTest::addColumn<QString>("messageId");
    QTest::addColumn<QString>("books");

    // The refused requests of a wrong api-key reach the service and count.
    QTest::newRow("refused connection")
        << Breakage::ClosedPort << "restClientConnectionFailed"
        << "paid+returned | start_session 1, create 1, result 2, return 1";
    QTest::newRow("wrong api-key")
        << Breakage::WrongApiKey << "zorvikCpqrError401"
        << "paid+returned | start_session 1, create 1, result 4, return 1";
}

// A paid order is cancelled while the till cannot reach the service: the status request that
// starts the cancellation fails, no return is asked for, and the host's deferred cancellation
// waits in the queue until the till's configuration is mended.
void FaultMatrixTest::statusBeforeReturn()
{
    QFETCH(Breakage, breakage);
    FaultMatrixBench matrix;
    const PaymentProcessingResult paid = matrix.pay(QStringLiteral("ZVQR-PAY1"));
    QCOMPARE(paid.status, Status::Success);
    matrix.setBreakage(breakage);

    const PaymentProcessingResult cancelled = matrix.cancel(paid.operationId);
    QCOMPARE(cancelled.status, Status::Failure);
    QTEST(cancelled.message.id(), "messageId");
    QVERIFY(matrix.queued().isEmpty());

    matrix.deferCancel(paid.operationId);
    matrix.runQueue(1);
    QCOMPARE(matrix.queued().size(), 1);
    QCOMPARE(matrix.queued().first().attempts, 1);
    QTEST(matrix.recover(), "books");
}

// Returns: the cashier cancels a paid order and the exchange that asks for the return fails;
// the return is then asked again, by the cashier or through the host's queue. Faults that keep
// the till from the service altogether already fail the status request before the return: see
// statusBeforeReturn.
void FaultMatrixTest::returnRequest_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<qint64>("amount");
    QTest::addColumn<Repeat>("repeat");
    QTest::addColumn<QString>("messageId");

    // The service made the return; only its answer was lost or could not be read. Every later
    // attempt names the return by the same refund id, so the service answers it as the return
    // it already made: the money goes back once and the deferred cancellation leaves the queue.
    const qint64 full = FaultMatrixBench::Amount;
    const qint64 bread = 5050; // the customer returns the bread alone (50.50 of 150.50)
    for (const ServiceFault &fault : AnswerFaults) {
        QTest::newRow(fault.name) << QStringLiteral("ZVQR-PAY1-RETURN%1").arg(fault.word) + '1'
                                  << full << Repeat::Deferred << fault.messageId;
    }
    QTest::newRow("not JSON") << "ZVQR-PAY1-RETURNNOTJSON1" << full << Repeat::Deferred
                              << "requestIncorrectAnswer";
    const QString lost = QStringLiteral("ZVQR-PAY1-RETURNDROP1");
    const QString broken = QStringLiteral("restClientConnectionBroken");
    QTest::newRow("lost answer, partial, deferred") << lost << bread << Repeat::Deferred << broken;
    QTest::newRow("lost answer, full, asked again") << lost << full << Repeat::AskedAgain << broken;
    QTest::newRow("lost answer, partial, asked again")
        << lost << bread << Repeat::AskedAgain << broken;
    QTest::newRow("lost answer, full, queued") << lost << full << Repeat::QueuedFromTheStart << "";
    QTest::newRow("lost answer, partial, queued")
        << lost << bread << Repeat::QueuedFromTheStart << "";
}

void FaultMatrixTest::returnRequest()
{
    QFETCH(QString, code);
    QFETCH(qint64, amount);
    QFETCH(Repeat, repeat);
    FaultMatrixBench matrix;
    const PaymentProcessingResult paid = matrix.pay(code);
    QCOMPARE(paid.status, Status::Success);
    if (amount != FaultMatrixBench::Amount)
        matrix.bench().openReceipt(QByteArray(R"({"shopCode": 12, "cashCode": 3, "positions": [
            {"barcode": "461", "posnum": 2, "name": "Хлеб", "quantity": 1, "sum": 50.5}]})"));

    if (repeat == Repeat::QueuedFromTheStart) {
        matrix.deferCancel(paid.operationId, amount);
        matrix.runQueue(1);
        QCOMPARE(matrix.queued().value(0).attempts, 1);
    } else {
        const PaymentProcessingResult cancelled = matrix.cancel(paid.operationId, amount);
        QCOMPARE(cancelled.status, Status::Failure);
        QTEST(cancelled.message.id(), "messageId");
        QVERIFY(matrix.queued().isEmpty());
        if (repeat == Repeat::AskedAgain)
            QCOMPARE(matrix.cancel(paid.operationId, amount).status, Status::Success);
        else
            matrix.deferCancel(paid.operationId, amount);
    }

    // Two return requests under one refund id, and the money back once.
    QCOMPARE(matrix.recover(),
             QStringLiteral("paid+returned%1 | start_session 1, create 1, result 3, return 2")
                 .arg(amount == FaultMatrixBench::Amount ? QString() : QStringLiteral(" 50.50")));
}

QTEST_GUILESS_MAIN(FaultMatrixTest)
#include "tst_faultmatrix.moc"
