// The fault matrix for status requests: those of a waiting payment, which decide what the
// cashier is told, and the one that starts a cancellation. For each fault: what the cashier is
// told, what is queued, and how the service's books stand once it recovers and the queue has
// run.

#include "FaultMatrixBench.h"

#include <QTest>

using Breakage = FaultMatrixBench::Breakage;
using Status = PaymentProcessingResult::Status;

class FaultMatrixStatusTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void statusWhilePaying_data();
    void statusWhilePaying();
    void statusBeforeReturn_data();
    void statusBeforeReturn();
};

void FaultMatrixStatusTest::statusWhilePaying_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<Status>("status");
    QTest::addColumn<QString>("messageId");
    QTest::addColumn<QString>("logged"); // warnings and errors
    QTest::addColumn<int>("queued");
    QTest::addColumn<QString>("books");

    // The service paid the order at that request; only its answer was lost. The queued
    // cancellation returns the money the cashier was told was not taken.
    const QString returned
        = QStringLiteral("paid+returned | start_session 1, create 1, result 2, return 1");
    QTest::newRow("time-out") << "ZVQR-PAY1-STATUSSLOW1" << Status::Failure << "restClientTimeout"
                              << "" << 1 << returned;
    QTest::newRow("connection dropped")
        << "ZVQR-PAY1-STATUSDROP1" << Status::Failure << "restClientConnectionBroken"
        << "" << 1 << returned;
    QTest::newRow("HTTP 500 with HTML")
        << "ZVQR-PAY1-STATUSHTML1" << Status::Failure << "restClientHttpError"
        << "" << 1 << returned;
    QTest::newRow("HTTP 502 without body")
        << "ZVQR-PAY1-STATUSGATEWAY1" << Status::Failure << "restClientHttpError"
        << "" << 1 << returned;
    QTest::newRow("oversized body")
        << "ZVQR-PAY1-STATUSHUGE1" << Status::Failure << "restClientResponseTooLarge"
        << "" << 1 << returned;
    // An unreadable answer is no order state: the payment asks again and learns it is paid.
    const QString unreadable = QStringLiteral("ERROR Некорректный ответ от сервера (нет данных)");
    const QString paid = QStringLiteral("paid | start_session 1, create 1, result 2");
    QTest::newRow("not JSON") << "ZVQR-PAY1-STATUSNOTJSON1" << Status::Success << "" << unreadable
                              << 0 << paid;
    QTest::newRow("JSON array") << "ZVQR-PAY1-STATUSARRAY1" << Status::Success << "" << unreadable
                                << 0 << paid;
    QTest::newRow("truncated JSON")
        << "ZVQR-PAY1-STATUSTRUNCATED1" << Status::Success << "" << unreadable << 0 << paid;
}

void FaultMatrixStatusTest::statusWhilePaying()
{
    QFETCH(QString, code);
    FaultMatrixBench matrix;

    const PaymentProcessingResult result = matrix.pay(code);
    QTEST(Status(result.status), "status");
    QTEST(result.message.id(), "messageId");
    QVERIFY(!result.operationId.isEmpty());
    QTEST(matrix.problems(), "logged");
    QTEST(int(matrix.queued().size()), "queued");
    QTEST(matrix.recover(), "books");
}

void FaultMatrixStatusTest::statusBeforeReturn_data()
{
    QTest::addColumn<Breakage>("breakage");
    QTest::addColumn<QString>("messageId");
    QTest::addColumn<QString>("books");

    // The refused requests of a wrong api-key reach the service and count.
    QTest::newRow("refused connection")
        << Breakage::ClosedPort << "restClientConnectionFailed"
        << "paid+returned | start_session 1, create 1, result 2, return 1";
    QTest::newRow("unknown host")
        << Breakage::UnknownHost << "restClientConnectionFailed"
        << "paid+returned | start_session 1, create 1, result 2, return 1";
    QTest::newRow("wrong api-key")
        << Breakage::WrongApiKey << "zorvikCpqrError401"
        << "paid+returned | start_session 1, create 1, result 4, return 1";
}

// A paid order is cancelled while the till cannot reach the service: the status request that
// starts the cancellation fails, no return is asked for, and the host's deferred cancellation
// waits in the queue until the till's configuration is mended.
void FaultMatrixStatusTest::statusBeforeReturn()
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
    const QList<QueuedMessage> waiting = matrix.queued();
    QCOMPARE(waiting.size(), 1);
    QCOMPARE(waiting.first().attempts, 1);
    QTEST(matrix.recover(), "books");
}

QTEST_GUILESS_MAIN(FaultMatrixStatusTest)
#include "tst_faultmatrix_status.moc"
