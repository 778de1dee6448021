#pragma once

#include "host/payment/ProcessingFactory.h"
#include "processing/Processing.h"

namespace zorvikcpqr {

// The plug-in's root object: the host takes it from the plug-in entry point and asks it for
// processing objects.
class ZorvikCpqrProcessingFactory : public ProcessingFactory<Processing>
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "ZorvikCpqrRegisterFactory")
};

} // namespace zorvikcpqr
