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
    // The order may have been registered, and a server error may come after it was: the
    // queued cancellation asks for the status and returns the money.
    const QString orderReturned
        = QStringLiteral("paid+returned | start_session 1, create 1, result 1, return 1");
    QTest::newRow("order creation, time-out")
        << "ZVQR-PAY1-ORDERSLOW" << Breakage::None << Status::Failure << "restClientTimeout"
        << failed << 1 << orderReturned;
    QTest::newRow("order creation, connection dropped")
        << "ZVQR-PAY1-ORDERDROP" << Breakage::None << Status::Failure
        << "restClientConnectionBroken" << failed << 1 << orderReturned;
    QTest::newRow("order creation, oversized body")
        << "ZVQR-PAY1-ORDERHUGE" << Breakage::None << Status::Failure
        << "restClientResponseTooLarge" << failed << 1 << orderReturned;
    QTest::newRow("order creation, HTTP 500 with HTML")
        << "ZVQR-PAY1-ORDERHTML" << Breakage::None << Status::Failure << "restClientHttpError"
        << failed << 1 << orderReturned;
    // An unreadable answer with HTTP 200 carries no error: the payment goes on to ask for the
    // order's status, and the order is paid.
    const QString orderPaid = QStringLiteral("paid | start_session 1, create 1, result 1");
    const QString unreadable = QStringLiteral("ERROR Некорректный ответ от сервера (нет данных)");
    QTest::newRow("order creation, not JSON")
        << "ZVQR-PAY1-ORDERNOTJSON" << Breakage::None << Status::Success << "" << unreadable << 0
        << orderPaid;

    // The service paid the order at that request; only its answer was lost. The queued
    // cancellation returns the money the cashier was told was not taken.
    const QString statusReturned
        = QStringLiteral("paid+returned | start_session 1, create 1, result 2, return 1");
    QTest::newRow("status, time-out")
        << "ZVQR-PAY1-STATUSSLOW1" << Breakage::None << Status::Failure << "restClientTimeout"
        << "" << 1 << statusReturned;
    QTest::newRow("status, connection dropped") << "ZVQR-PAY1-STATUSDROP1" << Breakage::None
                                                << Status::Failure << "restClientConnectionBroken"
                                                << "" << 1 << statusReturned;
    QTest::newRow("status, HTTP 500 with HTML")
        << "ZVQR-PAY1-STATUSHTML1" << Breakage::None << Status::Failure << "restClientHttpError"
        << "" << 1 << statusReturned;
    QTest::newRow("status, oversized body") << "ZVQR-PAY1-STATUSHUGE1" << Breakage::None
                                            << Status::Failure << "restClientResponseTooLarge"
                                            << "" << 1 << statusReturned;
    // An unreadable answer is no order state: the payment asks again and learns it is paid.
    const QString statusPaid = QStringLiteral("paid | start_session 1, create 1, result 2");
    QTest::newRow("status, not JSON") << "ZVQR-PAY1-STATUSNOTJSON1" << Breakage::None
                                      << Status::Success << "" << unreadable << 0 << statusPaid;
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
    QTest::newRow("time-out") << "ZVQR-PAY1-RETURNSLOW1" << full << Repeat::Deferred
                              << "restClientTimeout";
    QTest::newRow("connection dropped")
        << "ZVQR-PAY1-RETURNDROP1" << full << Repeat::Deferred << "restClientConnectionBroken";
    QTest::newRow("HTTP 500 with HTML")
        << "ZVQR-PAY1-RETURNHTML1" << full << Repeat::Deferred << "restClientHttpError";
    QTest::newRow("oversized body")
        << "ZVQR-PAY1-RETURNHUGE1" << full << Repeat::Deferred << "restClientResponseTooLarge";
    QTest::newRow("not JSON") << "ZVQR-PAY1-RETURNNOTJSON1" << full << Repeat::Deferred
                              << "requestIncorrectAnswer";
    QTest::newRow("lost answer, partial, deferred")
        << "ZVQR-PAY1-RETURNDROP1" << bread << Repeat::Deferred << "restClientConnectionBroken";
    QTest::newRow("lost answer, full, asked again")
        << "ZVQR-PAY1-RETURNDROP1" << full << Repeat::AskedAgain << "restClientConnectionBroken";
    QTest::newRow("lost answer, partial, asked again")
        << "ZVQR-PAY1-RETURNDROP1" << bread << Repeat::AskedAgain << "restClientConnectionBroken";
    QTest::newRow("lost answer, full, queued")
        << "ZVQR-PAY1-RETURNDROP1" << full << Repeat::QueuedFromTheStart << "";
    QTest::newRow("lost answer, partial, queued")
        << "ZVQR-PAY1-RETURNDROP1" << bread << Repeat::QueuedFromTheStart << "";
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
