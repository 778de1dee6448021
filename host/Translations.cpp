#include "host/Translations.h"

#include <QCoreApplication>
#include <QTranslator>

bool Translations::install(const QString &language,
                           const QStringList &folders,
                           QString *errorMessage)
{
    const QString catalogue = QStringLiteral("zorvikcpqr_") + language;
    auto *translator = new QTranslator(QCoreApplication::instance());
    for (const QString &folder : folders) {
        if (translator->load(catalogue, folder)) {
            QCoreApplication::installTranslator(translator);
            return true;
        }
    }
    delete translator;
    *errorMessage = QStringLiteral("no catalogue %1.qm for the language '%2' in %3")
                        .arg(catalogue, language, folders.join(QStringLiteral(", ")));
    return false;
}
