#pragma once

#include "host/Singleton.h"

#include <QRegularExpression>

// Scans matching a registered pattern count as codes of its kind.
class BcodeParser
{
public:
    void registerPattern(const QRegularExpression &expression, int kind);
};

template<>
BcodeParser *Singleton<BcodeParser>::instance;
