#pragma once

#include <QString>
#include <QStringList>

// The till's command line: where the plug-in, its configuration, the receipt, the queue, the
// plug-in's payment journal and the log are, and the command to run (none: commands come from
// standard input).
struct TillOptions
{
    QString pluginPath;
    QString configPath;
    QString receiptPath;
    QString queuePath;
    QString journalPath;
    QString logPath;
    QString logLevel = QStringLiteral("info");
    QString language;
    double interruptAfterSeconds = -1; // negative: never
    bool json = false;
    bool help = false;
    QStringList command;

    // False with a message naming what is wrong.
    bool parse(const QStringList &arguments, QString *errorMessage);

    static QString usage();
};
