#pragma once

#include "host/payment/AbstractProcessingFactory.h"
#include "host/payment/BasicPaymentProcessing.h"

// Makes a new T for the host, which owns it.
template<typename T>
class ProcessingFactory : public AbstractProcessingFactory
{
public:
    BasicPaymentProcessing *createProcessing() override;
};
