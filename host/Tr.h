#pragma once

#include <QString>
#include <QStringList>

namespace tr {

// A translatable operator text: an id that a catalogue can translate and the default text
// shown when it does not.
class Tr
{
public:
    Tr() = default;
    Tr(const QString &id, const QString &defaultText);

    // The same text with its lowest "%n" placeholder filled, in the default text and in any
    // translation alike.
    Tr arg(const QString &argument) const;

    const QString &id() const { return m_id; }
    // The default text with its arguments filled in.
    QString defaultText() const { return fill(m_defaultText); }

    // The text for the operator: the installed catalogue's translation of the id, or the
    // default text when the catalogue has none.
    QString text() const;

    bool isEmpty() const { return m_id.isEmpty() && m_defaultText.isEmpty(); }

    bool operator==(const Tr &other) const
    {
        return m_id == other.m_id && defaultText() == other.defaultText();
    }
    bool operator!=(const Tr &other) const { return !(*this == other); }

private:
    QString fill(QString text) const;

    QString m_id;
    QString m_defaultText;
    QStringList m_arguments;
};

} // namespace tr
