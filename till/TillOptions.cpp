#include "till/TillOptions.h"

#include "host/log4qt/Level.h"

#include <QCommandLineParser>

namespace {

const QCommandLineOption PluginOption(QStringLiteral("plugin"), QString(), QStringLiteral("PATH"));
const QCommandLineOption ConfigOption(QStringLiteral("config"), QString(), QStringLiteral("FILE"));
const QCommandLineOption
    ReceiptOption(QStringLiteral("receipt"), QString(), QStringLiteral("FILE"));
const QCommandLineOption QueueOption(QStringLiteral("queue"), QString(), QStringLiteral("FILE"));
const QCommandLineOption
    JournalOption(QStringLiteral("journal"), QString(), QStringLiteral("FILE"));
const QCommandLineOption LogOption(QStringLiteral("log"), QString(), QStringLiteral("FILE"));
const QCommandLineOption
    LogLevelOption(QStringLiteral("log-level"), QString(), QStringLiteral("LEVEL"));
const QCommandLineOption LanguageOption(QStringLiteral("lang"), QString(), QStringLiteral("LANG"));
const QCommandLineOption
    InterruptOption(QStringLiteral("interrupt-after"), QString(), QStringLiteral("SECONDS"));
const QCommandLineOption JsonOption(QStringLiteral("json"));
const QCommandLineOption HelpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});

} // namespace

bool TillOptions::parse(const QStringList &arguments, QString *errorMessage)
{
    QCommandLineParser parser;
    // Everything after the command is its argument, even when it starts with a dash.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.addOptions({PluginOption,
                       ConfigOption,
                       ReceiptOption,
                       QueueOption,
                       JournalOption,
                       LogOption,
                       LogLevelOption,
                       LanguageOption,
                       InterruptOption,
                       JsonOption,
                       HelpOption});
    if (!parser.parse(arguments)) {
        *errorMessage = parser.errorText();
        return false;
    }

    pluginPath = parser.value(PluginOption);
    configPath = parser.value(ConfigOption);
    receiptPath = parser.value(ReceiptOption);
    queuePath = parser.value(QueueOption);
    journalPath = parser.value(JournalOption);
    logPath = parser.value(LogOption);
    language = parser.value(LanguageOption);
    json = parser.isSet(JsonOption);
    help = parser.isSet(HelpOption);
    command = parser.positionalArguments();

    if (parser.isSet(LogLevelOption)) {
        logLevel = parser.value(LogLevelOption);
        Log4Qt::Level::Value level;
        if (!Log4Qt::Level::fromName(logLevel, &level)) {
            *errorMessage
                = QStringLiteral("--log-level must be debug, info, warn or error, not '%1'")
                      .arg(logLevel);
            return false;
        }
    }
    if (parser.isSet(InterruptOption)) {
        bool ok = false;
        interruptAfterSeconds = parser.value(InterruptOption).toDouble(&ok);
        if (!ok || interruptAfterSeconds < 0) {
            *errorMessage = QStringLiteral("--interrupt-after takes a number of seconds, not '%1'")
                                .arg(parser.value(InterruptOption));
            return false;
        }
    }
    return true;
}

QString TillOptions::usage()
{
    return QStringLiteral(
        "Usage: zorvik-till [OPTIONS] [COMMAND ARGS...]\n"
        "Drives the Zorvik CPQR payment plug-in as the point-of-sale host does.\n"
        "Without a command, reads commands from standard input, one per line\n"
        "(blank lines and lines starting with # are skipped).\n"
        "\n"
        "Options:\n"
        "  --plugin PATH            the plug-in to load (default: the one beside this tool)\n"
        "  --config FILE            the plug-in's configuration file (ini)\n"
        "  --receipt FILE           the open receipt (JSON); default: an empty receipt\n"
        "  --queue FILE             the host queue's SQLite file\n"
        "  --journal FILE           the plug-in's payment journal (default: the configuration's\n"
        "                           journalFile, else zorvikcpqr-journal.sqlite beside the queue)\n"
        "  --log FILE               write the log to FILE (default: standard error)\n"
        "  --log-level LEVEL        debug, info, warn or error (default: info)\n"
        "  --lang LANG              operator texts in LANG (en); default: Russian\n"
        "  --interrupt-after SECS   interrupt a waiting payment after SECS, as the cashier does\n"
        "  --json                   print one JSON object per command\n"
        "\n"
        "Commands (amounts in kopecks):\n"
        "  info                          what the host sees of the plug-in\n"
        "  demo                          a whole cashier's story against a built-in simulator\n"
        "  scan CODE                     check a scanned customer's code\n"
        "  pay AMOUNT [CODE]             pay the receipt\n"
        "  refund OPERATION_ID AMOUNT    refund a payment (request type 3)\n"
        "  cancel OPERATION_ID AMOUNT    cancel a payment\n"
        "  defer OPERATION_ID AMOUNT     queue the cancellation of a payment\n"
        "  queue list | queue run        show or carry out the queued cancellations\n"
        "  card add NUMBER | card delete NUMBER\n"
        "  document cancel               cancel the receipt\n"
        "  status OPERATION_ID           the service's state of an order\n"
        "  params                        the scan dialog's parameters\n"
        "  message KIND                  the operator message of that kind\n");
}
