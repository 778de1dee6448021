// The fault matrix for returns: the cashier cancels a paid order and the exchange that asks for
// the return fails; the host then defers the cancellation to its queue. For each fault: what
// the cashier is told, what stays queued, and how the service's books stand once it recovers
// and the queue has run. Faults that keep the till from the service altogether (refused
// connection, unknown host, wrong api-key) already fail the status request before the return:
// see tst_faultmatrix_status.

#include "FaultMatrixBench.h"

#include <QJsonArray>
#include <QTest>

using Status = PaymentProcessingResult::Status;

class FaultMatrixReturnTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void returnRequest_data();
    void returnRequest();
    void lostAnswerOfPartialReturn();
};

void FaultMatrixReturnTest::returnRequest_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<Status>("status");
    QTest::addColumn<QString>("messageId");
    QTest::addColumn<int>("attemptsLeft");

    // The service made the return; only its answer was lost. Every later attempt asks for the
    // whole amount again under a new refund id and is refused, as nothing is left to return:
    // the deferred cancellation never succeeds and stays queued, its attempts counted.
    QTest::newRow("time-out") << "ZVQR-PAY1-RETURNSLOW1" << Status::Failure << "restClientTimeout"
                              << 2;
    QTest::newRow("connection dropped")
        << "ZVQR-PAY1-RETURNDROP1" << Status::Failure << "restClientConnectionBroken" << 2;
    QTest::newRow("HTTP 500 with HTML")
        << "ZVQR-PAY1-RETURNHTML1" << Status::Failure << "restClientHttpError" << 2;
    QTest::newRow("HTTP 502 without body")
        << "ZVQR-PAY1-RETURNGATEWAY1" << Status::Failure << "restClientHttpError" << 2;
    QTest::newRow("oversized body")
        << "ZVQR-PAY1-RETURNHUGE1" << Status::Failure << "restClientResponseTooLarge" << 2;
    // An unreadable answer with HTTP 200 carries no error: the return counts as accepted.
    QTest::newRow("not JSON") << "ZVQR-PAY1-RETURNNOTJSON1" << Status::Success << "" << 0;
    QTest::newRow("JSON array") << "ZVQR-PAY1-RETURNARRAY1" << Status::Success << "" << 0;
    QTest::newRow("truncated JSON") << "ZVQR-PAY1-RETURNTRUNCATED1" << Status::Success << "" << 0;
}

void FaultMatrixReturnTest::returnRequest()
{
    QFETCH(QString, code);
    QFETCH(int, attemptsLeft);
    FaultMatrixBench matrix;
    const PaymentProcessingResult paid = matrix.pay(code);
    QCOMPARE(paid.status, Status::Success);

    const PaymentProcessingResult cancelled = matrix.cancel(paid.operationId);
    QTEST(Status(cancelled.status), "status");
    QTEST(cancelled.message.id(), "messageId");
    QVERIFY(matrix.queued().isEmpty());
    if (cancelled.status != 0)
        matrix.deferCancel(paid.operationId);

    matrix.runQueue(2);
    const QList<QueuedMessage> left = matrix.queued();
    QCOMPARE(left.size(), attemptsLeft > 0 ? 1 : 0);
    if (attemptsLeft > 0) {
        QCOMPARE(left.first().attempts, attemptsLeft);
        QVERIFY(matrix.bench().logLines().contains(QStringLiteral("ERROR  код ошибки: '161'")));
    }
    QCOMPARE(matrix.settledOrders(), QStringLiteral("paid+returned"));
    const QStringList breaches = matrix.ledgerBreaches();
    QVERIFY2(breaches.isEmpty(), qPrintable(breaches.join(QLatin1Char('\n'))));
}

// The customer returns the bread alone and the answer to that return is lost. The deferred
// cancellation cannot tell that the service made the return: it asks again under a new refund
// id, there is still enough left to return, and the bread is paid back twice.
void FaultMatrixReturnTest::lostAnswerOfPartialReturn()
{
    FaultMatrixBench matrix;
    const PaymentProcessingResult paid = matrix.pay(QStringLiteral("ZVQR-PAY1-RETURNDROP1"));
    QCOMPARE(paid.status, Status::Success);
    matrix.bench().openReceipt(QByteArray(R"({"shopCode": 12, "cashCode": 3, "positions": [
        {"barcode": "461", "posnum": 2, "name": "Хлеб", "quantity": 1, "sum": 50.5}]})"));

    const PaymentProcessingResult cancelled = matrix.cancel(paid.operationId, 5050);
    QCOMPARE(cancelled.status, Status::Failure);
    matrix.deferCancel(paid.operationId, 5050);
    matrix.runQueue(1);

    const QJsonObject order = matrix.bench().order(paid.operationId);
    QCOMPARE(order.value(QStringLiteral("refunds")).toArray().size(), 2);
    QEXPECT_FAIL("",
                 "each attempt at a return takes a new refund id, so the service cannot see "
                 "a repeated return",
                 Continue);
    QCOMPARE(order.value(QStringLiteral("returned")).toDouble(), 50.5);
}

QTEST_GUILESS_MAIN(FaultMatrixReturnTest)
#include "tst_faultmatrix_return.moc"
