// zorvik-till: a host test bench for the Zorvik CPQR payment plug-in.

#include "till/Demo.h"
#include "till/Till.h"
#include "till/TillOptions.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zorvik-till"));

    TillOptions options;
    QString errorMessage;
    if (!options.parse(QCoreApplication::arguments(), &errorMessage)) {
        // One line, so that it does not scroll away behind the help.
        std::fprintf(stderr, "zorvik-till: %s; see zorvik-till --help\n", qPrintable(errorMessage));
        return Till::UsageError;
    }
    if (options.help) {
        std::fputs(qPrintable(TillOptions::usage()), stdout);
        return Till::Success;
    }
    if (options.command == QStringList{QStringLiteral("demo")})
        return Demo(options).run();
    return Till(options).run();
}
