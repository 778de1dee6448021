// The fault matrix for order creation: the customer's code is scanned while the service works,
// then the exchange that registers the order fails. For each fault: what the cashier is told,
// what is queued, and how the service's books stand once it recovers and the queue has run.

#include "FaultMatrixBench.h"

#include <QTest>

using Breakage = FaultMatrixBench::Breakage;
using Status = PaymentProcessingResult::Status;

class FaultMatrixCreateTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void orderCreation_data();
    void orderCreation();
};

void FaultMatrixCreateTest::orderCreation_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<Breakage>("breakage");
    QTest::addColumn<Status>("status");
    QTest::addColumn<QString>("messageId");
    QTest::addColumn<int>("queued");
    QTest::addColumn<QString>("settled");

    // The request never left the till: nothing to undo.
    QTest::newRow("refused connection") << "ZVQR-PAY1" << Breakage::ClosedPort << Status::Failure
                                        << "restClientConnectionFailed" << 0 << "none";
    QTest::newRow("unknown host") << "ZVQR-PAY1" << Breakage::UnknownHost << Status::Failure
                                  << "restClientConnectionFailed" << 0 << "none";
    QTest::newRow("wrong api-key") << "ZVQR-PAY1" << Breakage::WrongApiKey << Status::Failure
                                   << "zorvikCpqrError401" << 0 << "none";
    // The order may have been registered: the queued cancellation asks and returns the money.
    QTest::newRow("time-out") << "ZVQR-PAY1-ORDERSLOW" << Breakage::None << Status::Failure
                              << "restClientTimeout" << 1 << "paid+returned";
    QTest::newRow("connection dropped")
        << "ZVQR-PAY1-ORDERDROP" << Breakage::None << Status::Failure
        << "restClientConnectionBroken" << 1 << "paid+returned";
    QTest::newRow("oversized body") << "ZVQR-PAY1-ORDERHUGE" << Breakage::None << Status::Failure
                                    << "restClientResponseTooLarge" << 1 << "paid+returned";
    // A server error may come after the order was registered: queued like a time-out.
    QTest::newRow("HTTP 500 with HTML")
        << "ZVQR-PAY1-ORDERHTML" << Breakage::None << Status::Failure << "restClientHttpError" << 1
        << "paid+returned";
    QTest::newRow("HTTP 502 without body")
        << "ZVQR-PAY1-ORDERGATEWAY" << Breakage::None << Status::Failure << "restClientHttpError"
        << 1 << "paid+returned";
    // An unreadable answer with HTTP 200 carries no error: the payment goes on to ask for the
    // order's status, and the order is paid.
    QTest::newRow("not JSON") << "ZVQR-PAY1-ORDERNOTJSON" << Breakage::None << Status::Success << ""
                              << 0 << "paid";
    QTest::newRow("JSON array") << "ZVQR-PAY1-ORDERARRAY" << Breakage::None << Status::Success << ""
                                << 0 << "paid";
    QTest::newRow("truncated JSON")
        << "ZVQR-PAY1-ORDERTRUNCATED" << Breakage::None << Status::Success << "" << 0 << "paid";
}

void FaultMatrixCreateTest::orderCreation()
{
    QFETCH(QString, code);
    QFETCH(Breakage, breakage);
    QFETCH(QString, settled);
    FaultMatrixBench matrix;
    QVERIFY(matrix.scan(code));
    matrix.setBreakage(breakage);

    const PaymentProcessingResult result = matrix.pay();
    QTEST(Status(result.status), "status");
    QTEST(result.message.id(), "messageId");
    QTEST(int(matrix.queued().size()), "queued");

    matrix.setBreakage(Breakage::None);
    matrix.runQueue(2);
    QVERIFY(matrix.queued().isEmpty());
    QCOMPARE(matrix.settledOrders(), settled);
    const QStringList breaches = matrix.ledgerBreaches();
    QVERIFY2(breaches.isEmpty(), qPrintable(breaches.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(FaultMatrixCreateTest)
#include "tst_faultmatrix_create.moc"
