#pragma once

#include <QString>
#include <QStringList>

// Id-based translation of operator texts: installs the catalogue "zorvikcpqr_<language>.qm"
// so that tr::Tr::text() gives its translations.
class Translations
{
public:
    // Looks for the catalogue in the folders in order; false with a message when none has it.
    static bool install(const QString &language, const QStringList &folders, QString *errorMessage);
};
