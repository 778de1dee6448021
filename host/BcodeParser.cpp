#include "host/BcodeParser.h"

template<>
BcodeParser *Singleton<BcodeParser>::instance = nullptr;

void BcodeParser::registerPattern(const QRegularExpression &expression, int kind)
{
    // A plug-in registers its pattern again whenever it is re-initialised; the pattern then
    // becomes the most recent one instead of piling up.
    const QPair<QRegularExpression, int> pattern(expression, kind);
    m_patterns.removeAll(pattern);
    m_patterns.append(pattern);
}

int BcodeParser::kindOf(const QString &text) const
{
    for (auto pattern = m_patterns.crbegin(); pattern != m_patterns.crend(); ++pattern) {
        if (pattern->first.match(text).hasMatch())
            return pattern->second;
    }
    return UnknownKind;
}
