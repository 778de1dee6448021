#pragma once

// What the host hands to init; the plug-in does not read it.
class PaymentProcessingContext
{
};
