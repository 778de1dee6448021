// The fault matrix for returns: the cashier cancels a paid order and the exchange that asks for
// the return fails; the return is then asked again, by the cashier or through the host's queue.
// For each fault: what the cashier is told, and how the service's books stand once the return
// was asked again and the queue has run. Faults that keep the till from the service altogether
// (refused connection, unknown host, wrong api-key) already fail the status request before the
// return: see tst_faultmatrix_status.

#include "FaultMatrixBench.h"

#include <QTest>

using Status = PaymentProcessingResult::Status;

class FaultMatrixReturnTest : public QObject
{
    Q_OBJECT

public:
    // How the return is asked again after its first attempt failed.
    enum class Repeat { Deferred, AskedAgain, QueuedFromTheStart };
    Q_ENUM(Repeat)

private Q_SLOTS:
    void returnRequest_data();
    void returnRequest();
};

void FaultMatrixReturnTest::returnRequest_data()
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
    QTest::newRow("HTTP 502 without body")
        << "ZVQR-PAY1-RETURNGATEWAY1" << full << Repeat::Deferred << "restClientHttpError";
    QTest::newRow("oversized body")
        << "ZVQR-PAY1-RETURNHUGE1" << full << Repeat::Deferred << "restClientResponseTooLarge";
    QTest::newRow("not JSON") << "ZVQR-PAY1-RETURNNOTJSON1" << full << Repeat::Deferred
                              << "requestIncorrectAnswer";
    QTest::newRow("JSON array") << "ZVQR-PAY1-RETURNARRAY1" << full << Repeat::Deferred
                                << "requestIncorrectAnswer";
    QTest::newRow("truncated JSON")
        << "ZVQR-PAY1-RETURNTRUNCATED1" << full << Repeat::Deferred << "requestIncorrectAnswer";
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

void FaultMatrixReturnTest::returnRequest()
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

QTEST_GUILESS_MAIN(FaultMatrixReturnTest)
#include "tst_faultmatrix_return.moc"
