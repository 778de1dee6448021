#pragma once

// Capabilities that a processing declares to the host: the host gives these values their
// meaning and plug-ins pass them as they are, so the stand-in declares exactly the contract's.
#include "contract/host/payment/ProcessingOptions.h"
