#include "host/DocumentLogic.h"
#include "host/Session.h"
#include "host/SimpleFormatter.h"

#include <QRandomGenerator>
#include <QTest>

class TestSimpleFormatter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void format_data();
    void format();
    void defaultCommentMaskFromTheSession();
    void extraSourcesFollowTheDocument();
    void arbitraryMasksDoNotCrash();

private:
    FormatterSources m_sources;
    QVariantMap m_values;
};

void TestSimpleFormatter::initTestCase()
{
    auto item = QSharedPointer<QObject>::create();
    item->setProperty("title", QStringLiteral("Milk"));
    item->setProperty("count", -42);
    m_sources = {{QStringLiteral("document"), QSharedPointer<AbstractDocument>::create(12, 3)},
                 {QStringLiteral("item"), item},
                 {QStringLiteral("nothing"), QSharedPointer<QObject>()}};
    m_values = {{QStringLiteral("name"), QStringLiteral("Anna")}, {QStringLiteral("number"), 7}};
}

void TestSimpleFormatter::format_data()
{
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("expected");

    QTest::newRow("default comment mask") << "%(document.shopCode[04d]) %(document.cashCode[02d])"
                                          << "0012 03";
    QTest::newRow("plain property") << "shop %(document.shopCode)"
                                    << "shop 12";
    QTest::newRow("d") << "%(document.shopCode[d])"
                       << "12";
    QTest::newRow("width") << "[%(document.shopCode[5d])]"
                           << "[   12]";
    QTest::newRow("left-aligned") << "[%(document.shopCode[-5d])]"
                                  << "[12   ]";
    QTest::newRow("left-align beats zero") << "[%(document.shopCode[-05d])]"
                                           << "[12   ]";
    QTest::newRow("zero pad after the sign") << "%(item.count[06d])"
                                             << "-00042";
    QTest::newRow("blank pad before the sign") << "[%(item.count[6d])]"
                                               << "[   -42]";
    QTest::newRow("narrow width") << "%(document.shopCode[1d])"
                                  << "12";
    QTest::newRow("string") << "%(item.title[s])"
                            << "Milk";
    QTest::newRow("string width") << "[%(item.title[6s])]"
                                  << "[  Milk]";
    QTest::newRow("string left") << "[%(item.title[-6s])]"
                                 << "[Milk  ]";
    QTest::newRow("zero flag ignored for text") << "[%(item.title[06s])]"
                                                << "[  Milk]";
    QTest::newRow("d of a text") << "[%(item.title[6d])]"
                                 << "[  Milk]";
    QTest::newRow("value map") << "%(name), %(number[03d])"
                               << "Anna, 007";
    QTest::newRow("unknown value") << "<%(unknown)>"
                                   << "<>";
    QTest::newRow("unknown object") << "<%(nobody.shopCode[04d])>"
                                    << "<>";
    QTest::newRow("unknown property") << "<%(document.nothing)>"
                                      << "<>";
    QTest::newRow("null object") << "<%(nothing.title)>"
                                 << "<>";
    QTest::newRow("percent alone") << "100% sure %"
                                   << "100% sure %";
    QTest::newRow("double percent") << "%%(name)"
                                    << "%Anna";
    QTest::newRow("unterminated") << "a %(document.shopCode"
                                  << "a %(document.shopCode";
    QTest::newRow("empty placeholder") << "<%()>"
                                       << "<>";
    QTest::newRow("bad format gives the plain value") << "%(document.shopCode[x])"
                                                      << "12";
    QTest::newRow("precision unsupported") << "%(document.shopCode[.2d])"
                                           << "12";
    QTest::newRow("unclosed format") << "%(document.shopCode[04d)"
                                     << "12";
    QTest::newRow("huge width refused") << "%(document.shopCode[99999999999d])"
                                        << "12";
    QTest::newRow("empty mask") << ""
                                << "";
}

void TestSimpleFormatter::format()
{
    QFETCH(QString, mask);
    QFETCH(QString, expected);

    QCOMPARE(SimpleFormatter().format(mask, m_sources, 0, m_values), expected);
}

void TestSimpleFormatter::defaultCommentMaskFromTheSession()
{
    singletonInstance<Session>()->setDocument(QSharedPointer<AbstractDocument>::create(12, 3));
    const FormatterSources sources = DocumentLogic().getFormatterSources({});
    QCOMPARE(
        SimpleFormatter().format(
            QStringLiteral("%(document.shopCode[04d]) %(document.cashCode[02d])"), sources, 0, {}),
        QStringLiteral("0012 03"));
}

void TestSimpleFormatter::extraSourcesFollowTheDocument()
{
    auto other = QSharedPointer<AbstractDocument>::create(99, 98);
    const FormatterSources sources = DocumentLogic().getFormatterSources(
        {{QStringLiteral("b"), other}, {QStringLiteral("a"), other}});
    QCOMPARE(sources.size(), 3);
    QCOMPARE(sources.at(0).first, QStringLiteral("document"));
    QCOMPARE(sources.at(0).second, singletonInstance<Session>()->getDocument());
    QCOMPARE(sources.at(1).first, QStringLiteral("a"));
    QCOMPARE(sources.at(2).first, QStringLiteral("b"));
}

// Masks come from configuration files that people edit by hand.
void TestSimpleFormatter::arbitraryMasksDoNotCrash()
{
    static const QStringList pieces = {"%",
                                       "(",
                                       ")",
                                       "[",
                                       "]",
                                       ".",
                                       "-",
                                       "0",
                                       "9",
                                       "d",
                                       "s",
                                       "document",
                                       "shopCode",
                                       "item",
                                       "title",
                                       "name",
                                       " ",
                                       QStringLiteral("\u00e9"),
                                       QString(QChar(0xd83d))};
    QRandomGenerator random(20240611);
    for (int round = 0; round < 5000; ++round) {
        QString mask;
        const int length = random.bounded(1, 24);
        for (int i = 0; i < length; ++i)
            mask += pieces.at(random.bounded(pieces.size()));
        const QString result = SimpleFormatter().format(mask, m_sources, 0, m_values);
        QVERIFY2(result.size() <= mask.size() * 300, qPrintable(mask));
    }
}

QTEST_GUILESS_MAIN(TestSimpleFormatter)

#include "tst_simpleformatter.moc"
