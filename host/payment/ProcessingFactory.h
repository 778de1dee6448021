#pragma once

#include "host/payment/AbstractProcessingFactory.h"
#include "host/payment/BasicPaymentProcessing.h"

template<typename T>
class ProcessingFactory : public AbstractProcessingFactory
{
public:
    BasicPaymentProcessing *createProcessing() override { return new T; }
};
