// The fault matrix for order creation: the customer's code is scanned while the service works,
// then the exchange that registers the order fails. For each fault: what the cashier is told
// and the log warns of, what is queued, and how the service's books stand once it recovers and
// the queue has run.

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
    QTest::addColumn<QString>("logged"); // warnings and errors
    QTest::addColumn<int>("queued");
    QTest::addColumn<QString>("books");

    const QString failed = QStringLiteral("ERROR Не удалось создать заказ");
    // The request never left the till, or was refused: nothing to undo.
    const QString untouched = QStringLiteral("none | start_session 1");
    QTest::newRow("refused connection") << "ZVQR-PAY1" << Breakage::ClosedPort << Status::Failure
                                        << "restClientConnectionFailed" << failed << 0 << untouched;
    QTest::newRow("unknown host") << "ZVQR-PAY1" << Breakage::UnknownHost << Status::Failure
                                  << "restClientConnectionFailed" << failed << 0 << untouched;
    QTest::newRow("wrong api-key")
        << "ZVQR-PAY1" << Breakage::WrongApiKey << Status::Failure << "zorvikCpqrError401"
        << "ERROR  сообщение об ошибке: 'Доступ запрещён: неверный api-key или user-token'; "
           "ERROR  код ошибки: '401'; ERROR Не удалось создать заказ"
        << 0 << "none | start_session 1, create 1";
    // The order may have been registered, and a server error may come after it was: the
    // queued cancellation asks for the status and returns the money.
    const QString returned
        = QStringLiteral("paid+returned | start_session 1, create 1, result 1, return 1");
    QTest::newRow("time-out") << "ZVQR-PAY1-ORDERSLOW" << Breakage::None << Status::Failure
                              << "restClientTimeout" << failed << 1 << returned;
    QTest::newRow("connection dropped")
        << "ZVQR-PAY1-ORDERDROP" << Breakage::None << Status::Failure
        << "restClientConnectionBroken" << failed << 1 << returned;
    QTest::newRow("oversized body") << "ZVQR-PAY1-ORDERHUGE" << Breakage::None << Status::Failure
                                    << "restClientResponseTooLarge" << failed << 1 << returned;
    QTest::newRow("HTTP 500 with HTML")
        << "ZVQR-PAY1-ORDERHTML" << Breakage::None << Status::Failure << "restClientHttpError"
        << failed << 1 << returned;
    QTest::newRow("HTTP 502 without body")
        << "ZVQR-PAY1-ORDERGATEWAY" << Breakage::None << Status::Failure << "restClientHttpError"
        << failed << 1 << returned;
    // An unreadable answer with HTTP 200 carries no error: the payment goes on to ask for the
    // order's status, and the order is paid.
    const QString paid = QStringLiteral("paid | start_session 1, create 1, result 1");
    const QString unreadable = QStringLiteral("ERROR Некорректный ответ от сервера (нет данных)");
    QTest::newRow("not JSON") << "ZVQR-PAY1-ORDERNOTJSON" << Breakage::None << Status::Success << ""
                              << unreadable << 0 << paid;
    QTest::newRow("JSON array") << "ZVQR-PAY1-ORDERARRAY" << Breakage::None << Status::Success << ""
                                << unreadable << 0 << paid;
    QTest::newRow("truncated JSON") << "ZVQR-PAY1-ORDERTRUNCATED" << Breakage::None
                                    << Status::Success << "" << unreadable << 0 << paid;
}

void FaultMatrixCreateTest::orderCreation()
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
    QTEST(int(matrix.queued().size()), "queued");
    QTEST(matrix.recover(), "books");
}

QTEST_GUILESS_MAIN(FaultMatrixCreateTest)
#include "tst_faultmatrix_create.moc"
