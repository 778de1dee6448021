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

// Another writer on an SQLite file, through a connection of its own, as another process would
// be: hold() takes the write lock, which is given back (rolled back) when the writer goes.
class SqlWriter
{
public:
    explicit SqlWriter(const QString &path)
        : m_name(QStringLiteral("writer:") + path)
    {
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name).setDatabaseName(path);
    }
    ~SqlWriter()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    SqlWriter(const SqlWriter &) = delete;
    SqlWriter &operator=(const SqlWriter &) = delete;

    bool hold()
    {
        QSqlDatabase file = QSqlDatabase::database(m_name, false);
        return file.open() && QSqlQuery(file).exec(QStringLiteral("BEGIN IMMEDIATE"));
    }

private:
    QString m_name;
};
