#include "host/Tr.h"

#include <QCoreApplication>

namespace tr {

Tr::Tr(const QString &id, const QString &defaultText)
    : m_id(id)
    , m_defaultText(defaultText)
{}

Tr Tr::arg(const QString &argument) const
{
    Tr filled = *this;
    filled.m_arguments.append(argument);
    return filled;
}

QString Tr::text() const
{
    if (m_id.isEmpty())
        return defaultText();
    const QByteArray idBytes = m_id.toUtf8();
    const QString translated = qtTrId(idBytes.constData());
    return translated == m_id ? defaultText() : fill(translated);
}

QString Tr::fill(QString text) const
{
    for (const QString &argument : m_arguments)
        text = text.arg(argument);
    return text;
}

} // namespace tr
