// zorvik-soak: payments in one till process against the simulator; prints the till's resident
// memory and open descriptors, the time a payment and the simulator's memory at every
// checkpoint, and fails when a budget was missed.

#include "Soak.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

bool positiveOption(const QCommandLineParser &parser, const QCommandLineOption &option, int *value)
{
    bool ok = false;
    const int parsed = parser.value(option).toInt(&ok);
    if (!ok || parsed <= 0)
        return false;
    *value = parsed;
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zorvik-soak"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Pays again and again through one zorvik-till process against a zorvik-sim "
                       "process (both beside this tool) and checks that the till's resident "
                       "memory and open file descriptors do not grow after the first "
                       "checkpoint, that the last payments take at most 1.2 times as long as the "
                       "first, and that the simulator's memory grows no faster than its stored "
                       "orders."));
    parser.addHelpOption();
    const QCommandLineOption paymentsOption(QStringLiteral("payments"),
                                            QStringLiteral("Payments in all. Default 10000."),
                                            QStringLiteral("count"),
                                            QStringLiteral("10000"));
    const QCommandLineOption checkpointOption(
        QStringLiteral("checkpoint"),
        QStringLiteral("Measure after every this many payments. Default 1000."),
        QStringLiteral("count"),
        QStringLiteral("1000"));
    const QCommandLineOption toleranceOption(
        QStringLiteral("tolerance-kib"),
        QStringLiteral("Resident memory growth allowed, KiB. Default 256, about 30 bytes a payment "
                       "over 9,000 payments."),
        QStringLiteral("kib"),
        QStringLiteral("256"));
    const QCommandLineOption noBudgetCheckOption(
        QStringLiteral("no-budget-check"),
        QStringLiteral("Print the budgets' lines but fail only when a payment fails, for runs "
                       "too short to judge."));
    parser.addOptions({paymentsOption, checkpointOption, toleranceOption, noBudgetCheckOption});
    parser.process(application);

    Soak::Options options;
    int tolerance = 0;
    if (!positiveOption(parser, paymentsOption, &options.payments)
        || !positiveOption(parser, checkpointOption, &options.checkpoint)
        || !positiveOption(parser, toleranceOption, &tolerance)) {
        std::fputs(qPrintable(parser.helpText()), stderr);
        return 2;
    }
    options.residentToleranceKib = tolerance;
    options.checkBudgets = !parser.isSet(noBudgetCheckOption);
    return Soak(options).run();
}
