#include "host/Tr.h"

#include <QCoreApplication>

namespace tr {

Tr::Tr(const QString &id, const QString &defaultText)
    : m_id(id)
    , m_defaultText(defaultText)
{}

QString Tr::text() const
{
    if (m_id.isEmpty())
        return m_defaultText;
    const QByteArray idBytes = m_id.toUtf8();
    const QString translated = qtTrId(idBytes.constData());
    return translated == m_id ? m_defaultText : translated;
}

} // namespace tr
