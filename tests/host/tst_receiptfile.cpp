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
    void cashierId_data();
    void cashierId();
    void refusesMalformedReceipts_data();
    void refusesMalformedReceipts();
    void refusesAnUnreadableFile();

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
        "cashierId": 42, "sum": 150.5,
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
    QCOMPARE(session.getCurrentUser()->getId().toInt(), 42);
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

void TestReceiptFile::sumDefaultsToThePositions()
{
    Session session;
    QString error;
    QVERIFY2(ReceiptFile::parse(R"({"shopCode": 1, "cashCode": 2, "positions": [
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

void TestReceiptFile::cashierId_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("number") << QByteArray("42") << QVariant(qlonglong(42));
    QTest::newRow("text") << QByteArray("\"K-7\"") << QVariant(QStringLiteral("K-7"));
    QTest::newRow("null: nobody") << QByteArray("null") << QVariant();
}

void TestReceiptFile::cashierId()
{
    QFETCH(QByteArray, json);
    QFETCH(QVariant, expected);

    Session session;
    QString error;
    QVERIFY2(ReceiptFile::parse(R"({"shopCode": 1, "cashCode": 2, "positions": [], "cashierId": )"
                                    + json + "}",
                                QStringLiteral("inline"),
                                &session,
                                &error),
             qPrintable(error));
    if (expected.isValid())
        QCOMPARE(session.getCurrentUser()->getId(), expected);
    else
        QVERIFY(!session.getCurrentUser());
}

void TestReceiptFile::refusesMalformedReceipts_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("fault");

    const QByteArray position
        = R"({"barcode": "1", "posnum": 1, "name": "A", "quantity": 1, "sum": 1})";
    QTest::newRow("empty") << QByteArray() << "not JSON";
    QTest::newRow("truncated") << QByteArray(R"({"shopCode": 1,)") << "at offset";
    QTest::newRow("array") << QByteArray("[]") << "not a JSON object";
    QTest::newRow("no shopCode") << QByteArray(R"({"cashCode": 1, "positions": []})")
                                 << "\"shopCode\" is missing";
    QTest::newRow("shopCode text")
        << QByteArray(R"({"shopCode": "12", "cashCode": 1, "positions": []})")
        << "\"shopCode\" is not a number";
    QTest::newRow("shopCode fraction")
        << QByteArray(R"({"shopCode": 1.5, "cashCode": 1, "positions": []})")
        << "\"shopCode\" is not an integer";
    QTest::newRow("shopCode too large")
        << QByteArray(R"({"shopCode": 1e12, "cashCode": 1, "positions": []})")
        << "\"shopCode\" is not an integer";
    QTest::newRow("no positions") << QByteArray(R"({"shopCode": 1, "cashCode": 1})")
                                  << "\"positions\" is missing";
    QTest::newRow("positions object")
        << QByteArray(R"({"shopCode": 1, "cashCode": 1, "positions": {}})")
        << "\"positions\" is not an array";
    QTest::newRow("position not an object")
        << QByteArray(R"({"shopCode": 1, "cashCode": 1, "positions": [)" + position + R"(, 5]})")
        << "\"positions[1]\" is not an object";
    QTest::newRow("quantity text")
        << QByteArray(R"({"shopCode": 1, "cashCode": 1, "positions": [)" + position
                      + R"(, {"barcode": "2", "posnum": 2, "name": "B", "quantity": "1",
                              "sum": 1}]})")
        << "\"positions[1].quantity\" is not a number";
    QTest::newRow("position without sum")
        << QByteArray(R"({"shopCode": 1, "cashCode": 1, "positions": [
                          {"barcode": "1", "posnum": 1, "name": "A", "quantity": 1}]})")
        << "\"positions[0].sum\" is missing";
    QTest::newRow("posId number") << QByteArray(
        R"({"shopCode": 1, "cashCode": 1, "posId": 3, "positions": []})")
                                  << "\"posId\" is not a string";
    QTest::newRow("cashierId object")
        << QByteArray(R"({"shopCode": 1, "cashCode": 1, "cashierId": {}, "positions": []})")
        << "\"cashierId\" is not a scalar";
    QTest::newRow("sum text") << QByteArray(
        R"({"shopCode": 1, "cashCode": 1, "sum": "1", "positions": []})")
                              << "\"sum\" is not a number";
    QTest::newRow("card number") << QByteArray(
        R"({"shopCode": 1, "cashCode": 1, "positions": [], "cards": ["1", 2]})")
                                 << "\"cards[1]\" is not a string";
}

void TestReceiptFile::refusesMalformedReceipts()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, fault);

    const QString path = write(json);
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

void TestReceiptFile::refusesAnUnreadableFile()
{
    const QString path = m_dir.filePath(QStringLiteral("absent.json"));
    QString error;
    Session session;
    QVERIFY(!ReceiptFile::load(path, &session, &error));
    QVERIFY2(error.startsWith(path + QLatin1Char(':')), qPrintable(error));
    QVERIFY2(error.contains(QLatin1String("cannot read")), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestReceiptFile)

#include "tst_receiptfile.moc"
