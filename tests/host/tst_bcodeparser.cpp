#include "host/BcodeParser.h"

#include <QTest>

class TestBcodeParser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void kindOf_data();
    void kindOf();
};

void TestBcodeParser::kindOf_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");

    QTest::newRow("payment code registered again is the latest") << "ZVQR0001" << 32;
    QTest::newRow("an earlier pattern") << "ZVX" << 5;
    QTest::newRow("a pattern is searched for") << "xx4600yy" << 7;
    QTest::newRow("latest registration wins") << "4600ZVQR" << 9;
    QTest::newRow("nothing matches") << "hello" << int(BcodeParser::UnknownKind);
}

// A plug-in registers its pattern again whenever it is initialised again.
void TestBcodeParser::kindOf()
{
    BcodeParser parser;
    const QRegularExpression payment(QStringLiteral("^(?<sbpCpqr>ZVQR.*)$"));
    parser.registerPattern(payment, 32);
    parser.registerPattern(QRegularExpression(QStringLiteral("^ZV")), 5);
    parser.registerPattern(QRegularExpression(QStringLiteral("4600")), 7);
    parser.registerPattern(QRegularExpression(QStringLiteral("^4600ZVQR$")), 9);
    parser.registerPattern(payment, 32);
    QCOMPARE(parser.patternCount(), 4);
    QFETCH(QString, text);
    QTEST(parser.kindOf(text), "kind");
}

QTEST_GUILESS_MAIN(TestBcodeParser)

#include "tst_bcodeparser.moc"
