#include "host/SimpleFormatter.h"

#include <optional>

namespace {

// A printf-style conversion: flags '-' (left-align) and '0' (zero-pad), a width, then 'd' or
// 's'. The width is bounded so that a mask cannot ask for an absurd amount of padding.
struct FormatDirective
{
    bool leftAlign = false;
    bool zeroPad = false;
    int width = 0;
    QChar conversion = QLatin1Char('s');
};

constexpr int MaxWidth = 255;

std::optional<FormatDirective> parseFormatDirective(QStringView text)
{
    FormatDirective directive;
    qsizetype i = 0;
    for (; i < text.size() && (text[i] == u'-' || text[i] == u'0'); ++i) {
        if (text[i] == u'-')
            directive.leftAlign = true;
        else
            directive.zeroPad = true;
    }
    for (; i < text.size() && text[i].isDigit(); ++i) {
        directive.width = directive.width * 10 + text[i].digitValue();
        if (directive.width > MaxWidth)
            return std::nullopt;
    }
    if (i + 1 != text.size() || (text[i] != u'd' && text[i] != u's'))
        return std::nullopt;
    directive.conversion = text[i];
    return directive;
}

QString applyDirective(const QVariant &value, const FormatDirective &directive)
{
    QString sign;
    QString digits = value.toString();
    QChar fill = QLatin1Char(' ');
    bool isInteger = false;
    const qlonglong integer = value.toLongLong(&isInteger);
    if (directive.conversion == u'd' && isInteger) {
        digits = QString::number(integer);
        if (digits.startsWith(QLatin1Char('-'))) {
            sign = QStringLiteral("-");
            digits.remove(0, 1);
        }
        if (directive.zeroPad && !directive.leftAlign)
            fill = QLatin1Char('0');
    }
    const int padding = qMax(0, directive.width - int(sign.size() + digits.size()));
    if (directive.leftAlign)
        return sign + digits + QString(padding, fill);
    if (fill == u'0')
        return sign + QString(padding, fill) + digits;
    return QString(padding, fill) + sign + digits;
}

QVariant sourceProperty(const FormatterSources &sources, QStringView object, QStringView property)
{
    for (const auto &source : sources) {
        if (source.first == object) {
            if (!source.second)
                return QVariant();
            return source.second->property(property.toUtf8().constData());
        }
    }
    return QVariant();
}

// The text of one placeholder's content, "name", "object.property", each with an optional
// "[format]". An invalid format leaves the value unformatted.
QString expand(QStringView placeholder, const FormatterSources &sources, const QVariantMap &values)
{
    QStringView name = placeholder;
    std::optional<FormatDirective> directive;
    const qsizetype bracket = placeholder.indexOf(u'[');
    if (bracket >= 0) {
        name = placeholder.first(bracket);
        if (placeholder.endsWith(u']'))
            directive = parseFormatDirective(placeholder.sliced(bracket + 1).chopped(1));
    }

    QVariant value;
    const qsizetype dot = name.indexOf(u'.');
    if (dot < 0)
        value = values.value(name.toString());
    else
        value = sourceProperty(sources, name.first(dot), name.sliced(dot + 1));

    if (!value.isValid())
        return QString();
    return directive ? applyDirective(value, *directive) : value.toString();
}

} // namespace

QString SimpleFormatter::format(const QString &mask,
                                const FormatterSources &sources,
                                int flags,
                                const QVariantMap &values) const
{
    Q_UNUSED(flags) // the host defines no formatting flags
    QString result;
    qsizetype position = 0;
    while (position < mask.size()) {
        const qsizetype start = mask.indexOf(QStringLiteral("%("), position);
        const qsizetype end = start < 0 ? -1 : mask.indexOf(QLatin1Char(')'), start + 2);
        if (end < 0) {
            result += QStringView(mask).sliced(position);
            break;
        }
        result += QStringView(mask).sliced(position, start - position);
        result += expand(QStringView(mask).sliced(start + 2, end - start - 2), sources, values);
        position = end + 1;
    }
    return result;
}
