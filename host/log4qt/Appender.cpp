#include "host/log4qt/Appender.h"

namespace Log4Qt {

namespace {

// Everything that a terminal or a log reader could take as the end of a line, or that could
// rewrite what was written before it.
bool isControlCharacter(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029;
}

QString escaped(char16_t c)
{
    switch (c) {
    case u'\n':
        return QStringLiteral("\\n");
    case u'\r':
        return QStringLiteral("\\r");
    case u'\t':
        return QStringLiteral("\\t");
    default:
        return QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
    }
}

} // namespace

QString Appender::formatLine(const LoggingEvent &event)
{
    return event.time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")) + QLatin1Char(' ')
           + Level::name(event.level) + QLatin1Char(' ') + escapeControlCharacters(event.loggerName)
           + QLatin1Char(' ') + escapeControlCharacters(event.message);
}

QString Appender::escapeControlCharacters(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar character : text) {
        const char16_t c = character.unicode();
        if (isControlCharacter(c))
            result += escaped(c);
        else
            result += character;
    }
    return result;
}

} // namespace Log4Qt
