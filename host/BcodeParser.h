#pragma once

#include "host/Singleton.h"

#include <QList>
#include <QPair>
#include <QRegularExpression>

// Tells which kind of code a scanned text is, from the patterns that plug-ins register.
class BcodeParser
{
public:
    enum { UnknownKind = -1 };

    void registerPattern(const QRegularExpression &expression, int kind);

    // The kind of the most recently registered pattern that the text matches, or UnknownKind.
    int kindOf(const QString &text) const;
    int patternCount() const { return m_patterns.size(); }

private:
    QList<QPair<QRegularExpression, int>> m_patterns;
};

template<>
BcodeParser *Singleton<BcodeParser>::instance;
