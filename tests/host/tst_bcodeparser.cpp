#include "host/BcodeParser.h"

#include <QTest>

class TestBcodeParser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void kindOf_data();
    void kindOf();
    void registeringAgainDoesNotPileUp();
};

void TestBcodeParser::kindOf_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");

    QTest::newRow("payment code") << "ZVQR0001" << 32;
    QTest::newRow("anchored pattern, trailing text")
        << "ZVQR0001x" << int(BcodeParser::UnknownKind);
    QTest::newRow("dollar before a final line break") << "ZVQR0001\n" << 32;
    QTest::newRow("unanchored pattern searches") << "xx4600yy" << 7;
    QTest::newRow("latest registration wins") << "4600ZVQR" << 9;
    QTest::newRow("nothing matches") << "hello" << int(BcodeParser::UnknownKind);
}

void TestBcodeParser::kindOf()
{
    QFETCH(QString, text);
    QFETCH(int, kind);

    BcodeParser parser;
    parser.registerPattern(QRegularExpression(QStringLiteral("4600")), 7);
    parser.registerPattern(QRegularExpression(QStringLiteral("^4600ZVQR$")), 9);
    parser.registerPattern(QRegularExpression(QStringLiteral("^(?<sbpCpqr>ZVQR\\d+)$")), 32);
    QCOMPARE(parser.kindOf(text), kind);
}

void TestBcodeParser::registeringAgainDoesNotPileUp()
{
    BcodeParser parser;
    const QRegularExpression payment(QStringLiteral("^ZVQR"));
    parser.registerPattern(payment, 32);
    parser.registerPattern(QRegularExpression(QStringLiteral("^ZV")), 5);
    parser.registerPattern(payment, 32);
    QCOMPARE(parser.patternCount(), 2);
    QCOMPARE(parser.kindOf(QStringLiteral("ZVQR1")), 32);
}

QTEST_GUILESS_MAIN(TestBcodeParser)

#include "tst_bcodeparser.moc"
