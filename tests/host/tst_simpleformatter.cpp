#include "host/AbstractDocument.h"
#include "host/SimpleFormatter.h"

#include <QTest>

// Arbitrary masks are the fuzz target's; these rows hold the printf-style rules a till's
// comment mask relies on.
class TestSimpleFormatter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void format_data();
    void format();
};

void TestSimpleFormatter::format_data()
{
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *tag, const char *mask, const char *expected) {
        QTest::newRow(tag) << QString::fromUtf8(mask) << QString::fromUtf8(expected);
    };
    row("default comment mask", "%(document.shopCode[04d]) %(document.cashCode[02d])", "0012 03");
    row("no format", "shop %(document.shopCode)", "shop 12");
    row("zero pad after the sign", "%(item.count[06d])", "-00042");
    row("blank pad before the sign", "[%(item.count[6d])]", "[   -42]");
    row("left-align beats zero", "[%(document.shopCode[-05d])]", "[12   ]");
    row("text padded with blanks", "[%(item.title[06s])]", "[  Milk]");
    row("d of a text", "[%(item.title[6d])]", "[  Milk]");
    row("unknown or null object", "<%(nobody.shopCode[04d])%(nothing.title)>", "<>");
    row("percent alone", "100% sure %", "100% sure %");
    row("unterminated", "a %(document.shopCode", "a %(document.shopCode");
    row("bad format gives the plain value", "%(document.shopCode[.2d])", "12");
    row("huge width refused", "%(document.shopCode[99999999999d])", "12");
}

void TestSimpleFormatter::format()
{
    QFETCH(QString, mask);
    auto item = QSharedPointer<QObject>::create();
    item->setProperty("title", QStringLiteral("Milk"));
    item->setProperty("count", -42);
    const FormatterSources sources{
        {QStringLiteral("document"), QSharedPointer<AbstractDocument>::create(12, 3)},
        {QStringLiteral("item"), item},
        {QStringLiteral("nothing"), QSharedPointer<QObject>()}};

    QTEST(SimpleFormatter().format(mask, sources, 0, {}), "expected");
}

QTEST_GUILESS_MAIN(TestSimpleFormatter)

#include "tst_simpleformatter.moc"
