#pragma once

#include <QObject>

class BasicPaymentProcessing;

// The root object of a processing plug-in.
class AbstractProcessingFactory : public QObject
{
public:
    virtual BasicPaymentProcessing *createProcessing() = 0;
};
