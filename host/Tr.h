#pragma once

#include <QString>

namespace tr {

// A translatable operator text: an id that a catalogue can translate and the default text
// shown when it does not.
class Tr
{
public:
    Tr() = default;
    Tr(const QString &id, const QString &defaultText);

    const QString &id() const { return m_id; }
    const QString &defaultText() const { return m_defaultText; }

    // The text for the operator: the installed catalogue's translation of the id, or the
    // default text when the catalogue has none.
    QString text() const;

    bool isEmpty() const { return m_id.isEmpty() && m_defaultText.isEmpty(); }

    bool operator==(const Tr &other) const
    {
        return m_id == other.m_id && m_defaultText == other.m_defaultText;
    }
    bool operator!=(const Tr &other) const { return !(*this == other); }

private:
    QString m_id;
    QString m_defaultText;
};

} // namespace tr
