#pragma once

#include <QObject>

class BasicPaymentProcessing;

// The root object of a processing plug-in.
class AbstractProcessingFactory : public QObject
{
    Q_OBJECT

public:
    explicit AbstractProcessingFactory(QObject *parent = nullptr);

    // A new processing that the caller owns.
    virtual BasicPaymentProcessing *createProcessing() = 0;
};
