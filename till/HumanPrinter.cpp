#include "till/HumanPrinter.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

QString text(const QJsonValue &value)
{
    return value.toObject().value(QStringLiteral("text")).toString();
}

QString yesNo(const QJsonValue &value)
{
    return value.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
}

QString scalar(const QJsonValue &value)
{
    if (value.isObject() && value.toObject().contains(QStringLiteral("text")))
        return text(value);
    return value.toVariant().toString();
}

const char *const PaymentStatus[] = {"success", "failure", "interrupted"};

} // namespace

QString HumanPrinter::format(const QJsonObject &result)
{
    const QString command = result.value(QStringLiteral("command")).toString();
    if (command == QLatin1String("info"))
        return info(result);
    if (command == QLatin1String("scan"))
        return scan(result);
    if (command == QLatin1String("pay") || command == QLatin1String("refund")
        || command == QLatin1String("cancel"))
        return payment(result);
    if (command == QLatin1String("queue list"))
        return queueList(result);
    if (command == QLatin1String("queue run"))
        return queueRun(result);
    if (command == QLatin1String("status"))
        return status(result);
    if (command == QLatin1String("defer"))
        return QStringLiteral("cancellation queued\n");
    QJsonObject rest = result;
    rest.remove(QStringLiteral("command"));
    return command + QStringLiteral(": done\n") + keyValues(rest, QStringLiteral("  "));
}

QString HumanPrinter::info(const QJsonObject &result)
{
    const QJsonObject picture = result.value(QStringLiteral("scanPicture")).toObject();
    const QJsonObject used = result.value(QStringLiteral("processing")).toObject();
    QString lines
        = QStringLiteral(
              "plug-in %1 (%2)\n  factory: %3\n  processing: %4\n  scan picture: %5 x %6\n"
              "settings the plug-in read from %7:\n")
              .arg(result.value(QStringLiteral("iid")).toString(),
                   result.value(QStringLiteral("className")).toString(),
                   result.value(QStringLiteral("factoryClass")).toString(),
                   result.value(QStringLiteral("processingClass")).toString(),
                   QString::number(picture.value(QStringLiteral("width")).toInt()),
                   QString::number(picture.value(QStringLiteral("height")).toInt()),
                   result.value(QStringLiteral("configuration")).toString());
    for (const QJsonValue &setting : result.value(QStringLiteral("settings")).toArray())
        lines += settingLine(setting.toObject());
    lines += QStringLiteral("what the processing holds:\n  statusRequestInterval: %1 ms\n"
                            "  statusRequestDelay: %2 s\n  paymentCodeMask: %3 (%4)\n")
                 .arg(QString::number(
                          used.value(QStringLiteral("statusRequestIntervalMs")).toInteger()),
                      QString::number(
                          used.value(QStringLiteral("statusRequestDelaySeconds")).toInteger()),
                      used.value(QStringLiteral("paymentCodeMask")).toString(),
                      used.value(QStringLiteral("paymentCodeMaskValid")).toBool()
                          ? QStringLiteral("valid")
                          : QStringLiteral("INVALID: no code is recognised"));
    const QJsonArray warnings = result.value(QStringLiteral("warnings")).toArray();
    if (!warnings.isEmpty())
        lines += QStringLiteral("warnings:\n");
    for (const QJsonValue &warning : warnings)
        lines += QStringLiteral("  %1\n").arg(warning.toString());
    return lines;
}

// "  timeout: 10 s (default)", "  apiKey: not set", "  timeout: 0 s (the file says 'ten')".
QString HumanPrinter::settingLine(const QJsonObject &setting)
{
    QString value
        = setting.contains(QStringLiteral("set"))
              ? (setting.value(QStringLiteral("set")).toBool() ? QStringLiteral("set")
                                                               : QStringLiteral("not set"))
              : setting.value(QStringLiteral("value")).toString();
    if (value.isEmpty())
        value = QStringLiteral("empty");
    if (setting.contains(QStringLiteral("unit")))
        value += QLatin1Char(' ') + setting.value(QStringLiteral("unit")).toString();
    if (!setting.value(QStringLiteral("written")).toBool())
        value += QStringLiteral(" (default)");
    else if (setting.contains(QStringLiteral("writtenAs")))
        value += QStringLiteral(" (the file says '%1')")
                     .arg(setting.value(QStringLiteral("writtenAs")).toString());
    return QStringLiteral("  %1: %2\n")
        .arg(setting.value(QStringLiteral("name")).toString(), value);
}

QString HumanPrinter::scan(const QJsonObject &result)
{
    if (!result.value(QStringLiteral("recognized")).toBool())
        return QStringLiteral("not a payment code\n");
    if (!result.value(QStringLiteral("accepted")).toBool())
        return QStringLiteral("code refused: %1\n")
            .arg(text(result.value(QStringLiteral("failureText"))));
    QStringList cards;
    for (const QJsonValue &card : result.value(QStringLiteral("cardNumbers")).toArray())
        cards.append(card.toString());
    return QStringLiteral("code accepted; customer's cards: %1\n")
        .arg(cards.isEmpty() ? QStringLiteral("none") : cards.join(QStringLiteral(", ")));
}

QString HumanPrinter::payment(const QJsonObject &result)
{
    const int status = result.value(QStringLiteral("status")).toInt();
    QString lines = QStringLiteral("%1: %2\n")
                        .arg(result.value(QStringLiteral("command")).toString(),
                             QString::fromLatin1(status >= 0 && status <= 2 ? PaymentStatus[status]
                                                                            : "unknown"));
    const QString message = text(result.value(QStringLiteral("message")));
    if (!message.isEmpty())
        lines += QStringLiteral("  %1\n").arg(message);
    const QString operationId = result.value(QStringLiteral("operationId")).toString();
    if (!operationId.isEmpty())
        lines += QStringLiteral("  operation id: %1\n").arg(operationId);
    const QJsonObject data = QJsonDocument::fromJson(
                                 result.value(QStringLiteral("additionalData")).toString().toUtf8())
                                 .object();
    return lines + cartLines(data.value(QStringLiteral("cart")).toObject());
}

QString HumanPrinter::queueList(const QJsonObject &result)
{
    const QJsonArray messages = result.value(QStringLiteral("messages")).toArray();
    if (messages.isEmpty())
        return QStringLiteral("the queue is empty\n");
    QString lines;
    for (const QJsonValue &value : messages) {
        const QJsonObject message = value.toObject();
        const QJsonObject request = message.value(QStringLiteral("message"))
                                        .toObject()
                                        .value(QStringLiteral("request"))
                                        .toObject();
        lines += QStringLiteral("#%1 %2: cancel %3 (%4 kopecks), attempts %5, due %6\n")
                     .arg(QString::number(message.value(QStringLiteral("id")).toInteger()),
                          message.value(QStringLiteral("queue")).toString(),
                          request.value(QStringLiteral("operationId")).toString(),
                          QString::number(request.value(QStringLiteral("amount")).toInteger()),
                          QString::number(message.value(QStringLiteral("attempts")).toInt()),
                          dueTime(message.value(QStringLiteral("nextAttemptAt"))));
    }
    return lines;
}

// "now" for a message due already, else the local time it is due again.
QString HumanPrinter::dueTime(const QJsonValue &nextAttemptAt)
{
    const QDateTime due = QDateTime::fromString(nextAttemptAt.toString(), Qt::ISODate);
    if (!due.isValid() || due <= QDateTime::currentDateTimeUtc())
        return QStringLiteral("now");
    return QStringLiteral("at %1").arg(
        due.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

QString HumanPrinter::queueRun(const QJsonObject &result)
{
    QString lines = QStringLiteral("queue run: %1 carried out, %2 failed (kept, due again later)\n")
                        .arg(QString::number(result.value(QStringLiteral("delivered")).toInt()),
                             QString::number(result.value(QStringLiteral("failed")).toInt()));
    for (const QJsonValue &error : result.value(QStringLiteral("errors")).toArray())
        lines += QStringLiteral("  queue error: %1\n").arg(error.toString());
    return lines;
}

QString HumanPrinter::status(const QJsonObject &result)
{
    QString lines = QStringLiteral("status %1, result %2\n")
                        .arg(QString::number(result.value(QStringLiteral("status")).toInt()),
                             yesNo(result.value(QStringLiteral("result"))));
    const QString error = text(result.value(QStringLiteral("error")));
    if (!error.isEmpty() || result.value(QStringLiteral("errorCode")).toInt() != 0)
        lines
            += QStringLiteral("  error %1: %2\n")
                   .arg(QString::number(result.value(QStringLiteral("errorCode")).toInt()), error);
    return lines + cartLines(result.value(QStringLiteral("cart")).toObject());
}

QString HumanPrinter::cartLines(const QJsonObject &cart)
{
    QString lines;
    for (const QJsonValue &value : cart.value(QStringLiteral("items")).toArray()) {
        const QJsonObject item = value.toObject();
        lines += QStringLiteral("  %1  %2 x %3 = %4\n")
                     .arg(item.value(QStringLiteral("title")).toString(),
                          scalar(item.value(QStringLiteral("quantity"))
                                     .toObject()
                                     .value(QStringLiteral("count"))),
                          scalar(item.value(QStringLiteral("unit_price"))),
                          scalar(item.value(QStringLiteral("cost"))));
    }
    return lines;
}

QString HumanPrinter::keyValues(const QJsonObject &object, const QString &indent)
{
    QString lines;
    for (auto it = object.begin(); it != object.end(); ++it)
        lines += QStringLiteral("%1%2: %3\n").arg(indent, it.key(), scalar(it.value()));
    return lines;
}
