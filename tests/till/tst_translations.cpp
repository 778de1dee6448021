// Every operator text id the code uses has an English translation.

#include "host/Tr.h"
#include "host/Translations.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

// An id is the first argument of a text, or any literal of the plug-in's own id family, but for
// the ids of the service's error codes: those fall back to the service's own message.
QSet<QString> idsInSources()
{
    static const QRegularExpression textId(
        QStringLiteral(R"re(Tr\s*\w*\s*[({]\s*QStringLiteral\("(\w+)"\)|"(zorvikCpqr\w+)")re"));
    static const QRegularExpression serviceErrorId(QStringLiteral("^zorvikCpqrError-?\\d+$"));
    QSet<QString> ids;
    for (const char *folder : {"host", "api", "processing", "till"}) {
        QDirIterator files(QStringLiteral(ZORVIK_SOURCE_DIR "/") + QLatin1String(folder),
                           {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                           QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            if (!file.open(QIODevice::ReadOnly))
                qFatal("cannot read %s", qPrintable(file.fileName()));
            for (const QRegularExpressionMatch &match :
                 textId.globalMatch(QString::fromUtf8(file.readAll()))) {
                const QString id = match.captured(1) + match.captured(2);
                if (!serviceErrorId.match(id).hasMatch())
                    ids.insert(id);
            }
        }
    }
    return ids;
}

} // namespace

class TranslationsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void everyIdHasAnEnglishText();
    void argumentsFillTheTranslation();
};

void TranslationsTest::initTestCase()
{
    QString errorMessage;
    QVERIFY2(Translations::install(QStringLiteral("en"),
                                   {QStringLiteral(ZORVIK_BUILD_DIR "/translations")},
                                   &errorMessage),
             qPrintable(errorMessage));
}

void TranslationsTest::everyIdHasAnEnglishText()
{
    const QSet<QString> ids = idsInSources();
    // One id of each form, so that a scan finding nothing cannot pass.
    QVERIFY(ids.contains(QStringLiteral("zorvikCpqrPaymentDeclined")));
    QVERIFY(ids.contains(QStringLiteral("restClientTimeout")));
    QStringList missing;
    for (const QString &id : ids) {
        if (qtTrId(id.toUtf8().constData()) == id)
            missing.append(id);
    }
    missing.sort();
    QVERIFY2(missing.isEmpty(), qPrintable(u"no English text for: " + missing.join(u", ")));
}

void TranslationsTest::argumentsFillTheTranslation()
{
    const tr::Tr text
        = tr::Tr(QStringLiteral("restClientHttpError"), QStringLiteral("Ошибка сервера (HTTP %1)"))
              .arg(QStringLiteral("502"));
    QCOMPARE(text.text(), QStringLiteral("Server error (HTTP 502)"));
    QCOMPARE(text.defaultText(), QStringLiteral("Ошибка сервера (HTTP 502)"));
}

QTEST_GUILESS_MAIN(TranslationsTest)
#include "tst_translations.moc"
