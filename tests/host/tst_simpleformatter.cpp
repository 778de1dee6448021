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
    const auto row = [](const char *tag, const char *mask, const char *expected) {
        QTest::newRow(tag) << QString::fromUtf8(mask) << QString::fromUtf8(expected);
    };
    row("default comment mask", "%(document.shopCode[04d]) %(document.cashCode[02d])", "0012 03");
    row("plain property", "shop %(document.shopCode)", "shop 12");
    row("width", "[%(document.shopCode[5d])]", "[   12]");
    row("left-aligned", "[%(document.shopCode[-5d])]", "[12   ]");
    row("left-align beats zero", "[%(document.shopCode[-05d])]", "[12   ]");
    row("zero pad after the sign", "%(item.count[06d])", "-00042");
    row("blank pad before the sign", "[%(item.count[6d])]", "[   -42]");
    row("narrow width", "%(document.shopCode[1d])", "12");
    row("string width", "[%(item.title[6s])]", "[  Milk]");
    row("string left", "[%(item.title[-6s])]", "[Milk  ]");
    row("zero flag ignored for text", "[%(item.title[06s])]", "[  Milk]");
    row("d of a text", "[%(item.title[6d])]", "[  Milk]");
    row("value map", "%(name), %(number[03d])", "Anna, 007");
    row("unknown value", "<%(unknown)>", "<>");
    row("unknown object", "<%(nobody.shopCode[04d])>", "<>");
    row("unknown property", "<%(document.nothing)>", "<>");
    row("null object", "<%(nothing.title)>", "<>");
    row("percent alone", "100% sure %", "100% sure %");
    row("double percent", "%%(name)", "%Anna");
    row("unterminated", "a %(document.shopCode", "a %(document.shopCode");
    row("empty placeholder", "<%()>", "<>");
    row("bad format gives the plain value", "%(document.shopCode[x])", "12");
    row("precision unsupported", "%(document.shopCode[.2d])", "12");
    row("unclosed format", "%(document.shopCode[04d)", "12");
    row("huge width refused", "%(document.shopCode[99999999999d])", "12");
}

void TestSimpleFormatter::format()
{
    QFETCH(QString, mask);
    QFETCH(QString, expected);

    QCOMPARE(SimpleFormatter().format(mask, m_sources, 0, m_values), expected);
}

void TestSimpleFormatter::extraSourcesFollowTheDocument()
{
    singletonInstance<Session>()->setDocument(QSharedPointer<AbstractDocument>::create(12, 3));
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
    static const QStringList pieces
        = QStringLiteral("% ( ) [ ] . - 0 9 d s document shopCode item title name")
              .split(QLatin1Char(' '))
          + QStringList{QStringLiteral(" "), QStringLiteral("\u00e9"), QString(QChar(0xd83d))};
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
