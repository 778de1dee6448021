#pragma once

#include "host/Tr.h"

#include <QStringList>

// The processing's verdict on a scanned customer's code.
struct CpqrCheckResult
{
    bool recognized = false; // a code of this processing
    bool accepted = false;   // the service opened a session for it
    tr::Tr failureText;
    QStringList cardNumbers;
};
