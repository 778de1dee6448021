#include "host/ReceiptFile.h"
#include "host/Session.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestReceiptFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void loadsAWholeReceipt();
    void sumDefaultsToThePositions();
    void refusesMalformedReceipts_data();
    void refusesMalformedReceipts();

private:
    QString write(const QByteArray &content);

    QTemporaryDir m_dir;
};

QString TestReceiptFile::write(const QByteArray &content)
{
    const QString path = m_dir.filePath(QStringLiteral("receipt.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(content);
    return path;
}

void TestReceiptFile::loadsAWholeReceipt()
{
    const QString path = write(R"({"shopCode": 12, "cashCode": 3, "posId": "0003",
        "cashierId": "K-7", "sum": 150.5,
        "positions": [{"barcode": "4600001", "posnum": 1, "name": "Milk", "quantity": 1.5,
                       "sum": 100.0},
                      {"barcode": "4600002", "posnum": 2, "name": "Bread", "quantity": 1,
                       "sum": 60.0}],
        "cards": ["7700123", "7700456"]})");
    Session session;
    QString error;
    QVERIFY2(ReceiptFile::load(path, &session, &error), qPrintable(error));

    QCOMPARE(session.getPosId(), QStringLiteral("0003"));
    QVERIFY(session.getCurrentUser());
    QCOMPARE(session.getCurrentUser()->getId(), QVariant(QStringLiteral("K-7")));
    const QSharedPointer<AbstractDocument> document = session.getDocument();
    QCOMPARE(document->getShopCode(), 12);
    QCOMPARE(document->getCashCode(), 3);
    QCOMPARE(document->getSum(), 150.5);
    const auto items = document->getGoodsItems();
    QCOMPARE(items.size(), 2);
    QCOMPARE(items.at(0)->getBarcode(), QStringLiteral("4600001"));
    QCOMPARE(items.at(0)->getPosnum(), 1);
    QCOMPARE(items.at(0)->getName(false), QStringLiteral("Milk"));
    QCOMPARE(items.at(0)->getQuantity(), 1.5);
    QCOMPARE(items.at(0)->getSumb(), 100.0);
    QCOMPARE(items.at(1)->getName(false), QStringLiteral("Bread"));
    QVERIFY(document->containsCard(QStringLiteral("7700456")));
    QCOMPARE(document->getCards().size(), 2);
}

// Without a sum, a till and a cashier (null: nobody) the receipt still loads.
void TestReceiptFile::sumDefaultsToThePositions()
{
    Session session;
    QString error;
    QVERIFY2(ReceiptFile::parse(R"({"shopCode": 1, "cashCode": 2, "cashierId": null, "positions": [
                 {"barcode": "1", "posnum": 1, "name": "A", "quantity": 1, "sum": 10.25},
                 {"barcode": "2", "posnum": 2, "name": "B", "quantity": 2, "sum": 4.5}]})",
                                QStringLiteral("inline"),
                                &session,
                                &error),
             qPrintable(error));
    QCOMPARE(session.getDocument()->getSum(), 14.75);
    QCOMPARE(session.getPosId(), QString());
    QVERIFY(!session.getCurrentUser());
    QVERIFY(session.getDocument()->getCards().isEmpty());
}

void TestReceiptFile::refusesMalformedReceipts_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("fault");
    // A null text leaves the file unwritten; receipt() completes one with its shop and till.
    const auto row = [](const char *tag, const QByteArray &json, const char *fault) {
        QTest::newRow(tag) << json << QString::fromUtf8(fault);
    };
    const auto receipt = [](const char *rest) -> QByteArray {
        return QByteArray(R"({"shopCode": 1, "cashCode": 1, )") + rest;
    };
    row("no file", QByteArray(), "cannot read");
    row("empty", "", "not JSON");
    row("truncated", R"({"shopCode": 1,)", "at offset");
    row("array", "[]", "not a JSON object");
    row("no shopCode", R"({"cashCode": 1, "positions": []})", "\"shopCode\" is missing");
    row("shopCode fraction",
        R"({"shopCode": 1.5, "cashCode": 1, "positions": []})",
        "\"shopCode\" is not an integer");
    row("shopCode too large",
        R"({"shopCode": 1e12, "cashCode": 1, "positions": []})",
        "\"shopCode\" is not an integer");
    row("positions object", receipt(R"("positions": {}})"), "\"positions\" is not an array");
    row("quantity text",
        receipt(R"("positions": [{"barcode": "1", "posnum": 1, "name": "A", "quantity": 1,
                "sum": 1}, {"barcode": "2", "posnum": 2, "name": "B", "quantity": "1",
                "sum": 1}]})"),
        "\"positions[1].quantity\" is not a number");
    row("cashierId object",
        receipt(R"("cashierId": {}, "positions": []})"),
        "\"cashierId\" is not a scalar");
    row("card number",
        receipt(R"("positions": [], "cards": ["1", 2]})"),
        "\"cards[1]\" is not a string");
}

void TestReceiptFile::refusesMalformedReceipts()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, fault);

    const QString path
        = json.isNull() ? m_dir.filePath(QStringLiteral("absent.json")) : write(json);
    Session session;
    session.setPosId(QStringLiteral("kept"));
    const QSharedPointer<AbstractDocument> before = session.getDocument();
    QString error;
    QVERIFY(!ReceiptFile::load(path, &session, &error));
    QVERIFY2(error.startsWith(path + QLatin1Char(':')), qPrintable(error));
    QVERIFY2(error.contains(fault), qPrintable(error));
    QCOMPARE(session.getPosId(), QStringLiteral("kept"));
    QCOMPARE(session.getDocument(), before);
}

QTEST_GUILESS_MAIN(TestReceiptFile)

#include "tst_receiptfile.moc"
