#include "host/ReceiptFile.h"
#include "host/Session.h"

#include <QTest>

namespace {

// The till, the cashier, shop and till codes, the sum, each position and each card.
QString described(const Session &session)
{
    const QSharedPointer<AbstractDocument> document = session.getDocument();
    const QSharedPointer<User> cashier = session.getCurrentUser();
    QStringList parts{
        session.getPosId(),
        cashier ? cashier->getId().toString() : QStringLiteral("nobody"),
        QStringLiteral("%1/%2").arg(document->getShopCode()).arg(document->getCashCode()),
        QString::number(document->getSum())};
    for (const QSharedPointer<GoodsItem> &item : document->getGoodsItems()) {
        parts.append(QStringLiteral("%1/%2/%3/%4/%5")
                         .arg(item->getBarcode())
                         .arg(item->getPosnum())
                         .arg(item->getName(false))
                         .arg(item->getQuantity())
                         .arg(item->getSumb()));
    }
    for (const QSharedPointer<DocumentCardRecord> &card : document->getCards())
        parts.append(card->getNumber().toString());
    return parts.join(QStringLiteral(", "));
}

} // namespace

class TestReceiptFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void loads_data();
    void loads();
    void refusesMalformedReceipts_data();
    void refusesMalformedReceipts();
};

void TestReceiptFile::loads_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("session");

    QTest::newRow("whole receipt")
        << QByteArray(R"({"shopCode": 12, "cashCode": 3, "posId": "0003", "cashierId": "K-7",
               "sum": 150.5, "cards": ["7700123", "7700456"], "positions": [
               {"barcode": "4600001", "posnum": 1, "name": "Milk", "quantity": 1.5, "sum": 100.0},
               {"barcode": "4600002", "posnum": 2, "name": "Bread", "quantity": 1, "sum": 60.0}]})")
        << "0003, K-7, 12/3, 150.5, 4600001/1/Milk/1.5/100, 4600002/2/Bread/1/60, 7700123, 7700456";
    QTest::newRow("sum of the positions, nobody logged in")
        << QByteArray(R"({"shopCode": 1, "cashCode": 2, "cashierId": null, "positions": [
               {"barcode": "1", "posnum": 1, "name": "A", "quantity": 1, "sum": 10.25},
               {"barcode": "2", "posnum": 2, "name": "B", "quantity": 2, "sum": 4.5}]})")
        << ", nobody, 1/2, 14.75, 1/1/A/1/10.25, 2/2/B/2/4.5";
}

void TestReceiptFile::loads()
{
    QFETCH(QByteArray, json);
    Session session;
    QString error;
    QVERIFY2(ReceiptFile::parse(json, QStringLiteral("receipt.json"), &session, &error),
             qPrintable(error));
    QTEST(described(session), "session");
}

void TestReceiptFile::refusesMalformedReceipts_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("fault");
    const auto row = [](const char *tag, const QByteArray &json, const char *fault) {
        QTest::newRow(tag) << json << QString::fromUtf8(fault);
    };
    row("truncated", R"({"shopCode": 1,)", "not JSON");
    row("no shopCode", R"({"cashCode": 1, "positions": []})", "\"shopCode\" is missing");
    row("shopCode fraction",
        R"({"shopCode": 1.5, "cashCode": 1, "positions": []})",
        "\"shopCode\" is not an integer");
    row("shopCode too large",
        R"({"shopCode": 1e12, "cashCode": 1, "positions": []})",
        "\"shopCode\" is not an integer");
    row("quantity text",
        R"({"shopCode": 1, "cashCode": 1, "positions": [
            {"barcode": "1", "posnum": 1, "name": "A", "quantity": "1", "sum": 1}]})",
        "\"positions[0].quantity\" is not a number");
    row("cashierId object",
        R"({"shopCode": 1, "cashCode": 1, "cashierId": {}, "positions": []})",
        "\"cashierId\" is not a scalar");
    row("card number",
        R"({"shopCode": 1, "cashCode": 1, "positions": [], "cards": ["1", 2]})",
        "\"cards[1]\" is not a string");
}

// A refused receipt leaves the session as it was.
void TestReceiptFile::refusesMalformedReceipts()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, fault);

    const QString source = QStringLiteral("receipt.json");
    Session session;
    session.setPosId(QStringLiteral("kept"));
    const QSharedPointer<AbstractDocument> before = session.getDocument();
    QString error;
    QVERIFY(!ReceiptFile::parse(json, source, &session, &error));
    QVERIFY2(error.startsWith(source + QLatin1Char(':')), qPrintable(error));
    QVERIFY2(error.contains(fault), qPrintable(error));
    QCOMPARE(session.getPosId(), QStringLiteral("kept"));
    QCOMPARE(session.getDocument(), before);
}

QTEST_GUILESS_MAIN(TestReceiptFile)

#include "tst_receiptfile.moc"
