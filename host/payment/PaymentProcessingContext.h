#pragma once

#include <QString>

// What the host knows of the till when it initialises a processing.
struct PaymentProcessingContext
{
    QString processingName;
    QString workingDirectory;
};
