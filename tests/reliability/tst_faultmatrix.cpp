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
    // A redirect is not followed: the service at the new address never hears of the order.
    QTest::newRow("order creation, moved address (HTTP 308)")
        << "ZVQR-PAY1" << Breakage::MovedAddress << Status::Failure << "restClientHttpError"
        << failed << 0 << untouched;
    QTest::newRow("order creation, address without a scheme")
        << "ZVQR-PAY1" << Breakage::NoScheme << Status::Failure << "zorvikCpqrBadServerUrl"
        << "ERROR Некорректное значение параметра ZorvikCpqr:url: 'cpqr.example', запрос не "
           "отправлен; ERROR Не удалось создать заказ"
        << 0 << untouched;
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

// Returns: the cashier cancels a paid order and the exchange that asks for the return fails, or
// the till cannot reach the service and the status request that starts the cancellation fails
// before any return is asked for. The return is then asked again, by the cashier or through
// the host's queue, which keeps a deferred cancellation while the configuration stays broken.
void FaultMatrixTest::returnRequest_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<Breakage>("breakage");
    QTest::addColumn<qint64>("amount");
    QTest::addColumn<Repeat>("repeat");
    QTest::addColumn<QString>("messageId");
    QTest::addColumn<QString>("received"); // status and return requests

    // The refused requests of a wrong api-key reach the service and count.
    const qint64 full = FaultMatrixBench::Amount;
    const QString pay1 = QStringLiteral("ZVQR-PAY1");
    QTest::newRow("status, refused connection")
        << pay1 << Breakage::ClosedPort << full << Repeat::Deferred << "restClientConnectionFailed"
        << "result 2, return 1";
    // The status request is the cancellation's first exchange: it must not go to a guessed host.
    QTest::newRow("status, address without a scheme")
        << pay1 << Breakage::NoScheme << full << Repeat::Deferred << "zorvikCpqrBadServerUrl"
        << "result 2, return 1";
    QTest::newRow("status, wrong api-key")
        << pay1 << Breakage::WrongApiKey << full << Repeat::Deferred << "zorvikCpqrError401"
        << "result 4, return 1";

    // The service made the return; only its answer was lost or could not be read. Every later
    // attempt names the return by the same refund id, so the service answers it as the return
    // it already made: two return requests, the money back once, the queue emptied.
    const qint64 bread = 5050; // the customer returns the bread alone (50.50 of 150.50)
    const QString twice = QStringLiteral("result 3, return 2");
    for (const ServiceFault &fault : AnswerFaults) {
        QTest::newRow(fault.name) << QStringLiteral("ZVQR-PAY1-RETURN%1").arg(fault.word) + '1'
                                  << Breakage::None << full << Repeat::Deferred << fault.messageId
                                  << twice;
    }
    QTest::newRow("not JSON") << "ZVQR-PAY1-RETURNNOTJSON1" << Breakage::None << full
                              << Repeat::Deferred << "requestIncorrectAnswer" << twice;
    const QString lost = QStringLiteral("ZVQR-PAY1-RETURNDROP1");
    const QString broken = QStringLiteral("restClientConnectionBroken");
    const Breakage none = Breakage::None;
    QTest::newRow("lost answer, partial, deferred")
        << lost << none << bread << Repeat::Deferred << broken << twice;
    QTest::newRow("lost answer, full, asked again")
        << lost << none << full << Repeat::AskedAgain << broken << twice;
    QTest::newRow("lost answer, partial, asked again")
        << lost << none << bread << Repeat::AskedAgain << broken << twice;
    QTest::newRow("lost answer, full, queued")
        << lost << none << full << Repeat::QueuedFromTheStart << "" << twice;
    QTest::newRow("lost answer, partial, queued")
        << lost << none << bread << Repeat::QueuedFromTheStart << "" << twice;
}

void FaultMatrixTest::returnRequest()
{
    QFETCH(QString, code);
    QFETCH(Breakage, breakage);
    QFETCH(qint64, amount);
    QFETCH(Repeat, repeat);
    FaultMatrixBench matrix;
    const PaymentProcessingResult paid = matrix.pay(code);
    QCOMPARE(paid.status, Status::Success);
    const bool partial = amount != FaultMatrixBench::Amount;
    if (partial)
        matrix.bench().openReceipt(QByteArray(R"({"shopCode": 12, "cashCode": 3, "positions": [
            {"barcode": "461", "posnum": 2, "name": "Хлеб", "quantity": 1, "sum": 50.5}]})"));
    if (breakage != Breakage::None)
        matrix.setBreakage(breakage);

    if (repeat != Repeat::QueuedFromTheStart) {
        const PaymentProcessingResult cancelled = matrix.cancel(paid.operationId, amount);
        QCOMPARE(cancelled.status, Status::Failure);
        QTEST(cancelled.message.id(), "messageId");
        QVERIFY(matrix.queued().isEmpty());
    }
    if (repeat == Repeat::AskedAgain) {
        QCOMPARE(matrix.cancel(paid.operationId, amount).status, Status::Success);
    } else {
        // The first queue run meets the fault again, or the broken configuration.
        matrix.deferCancel(paid.operationId, amount);
        if (repeat == Repeat::QueuedFromTheStart || breakage != Breakage::None) {
            matrix.runQueue(1);
            QCOMPARE(matrix.queued().value(0).attempts, 1);
        }
    }

    QFETCH(QString, received);
    QCOMPARE(matrix.recover(),
             QStringLiteral("paid+returned%1 | start_session 1, create 1, %2")
                 .arg(partial ? QStringLiteral(" 50.50") : QString(), received));
}

QTEST_GUILESS_MAIN(FaultMatrixTest)
#include "tst_faultmatrix.moc"
