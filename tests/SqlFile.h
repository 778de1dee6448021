#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>

// Runs the statements on an SQLite file through a connection of its own, as another process
// would; false once one of them fails.
inline bool runOnSqlFile(const QString &path, const QStringList &statements)
{
    bool ran = false;
    {
        QSqlDatabase file = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), path);
        file.setDatabaseName(path);
        ran = file.open();
        for (const QString &statement : statements)
            ran = ran && QSqlQuery(file).exec(statement);
    }
    QSqlDatabase::removeDatabase(path);
    return ran;
}
