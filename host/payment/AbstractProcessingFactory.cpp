#include "host/payment/AbstractProcessingFactory.h"

AbstractProcessingFactory::AbstractProcessingFactory(QObject *parent)
    : QObject(parent)
{}
