#pragma once

#include "host/Tr.h"

#include <QStringList>

// The processing's answer to a scanned code.
class CpqrCheckResult
{
public:
    bool recognized;
    bool accepted;
    tr::Tr failureText;
    QStringList cardNumbers;
};
