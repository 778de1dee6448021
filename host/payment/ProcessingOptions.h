#pragma once

// Capabilities that a processing declares to the host. The host gives these values their
// meaning; plug-ins pass them as they are.
namespace EPaymentProcessingOption {
enum Option {
    QrCodePayment = 0x4000,
};
}

namespace processing {
enum Option {
    ProcessingEnabled = 0,
    RequestPaymentCode = 14, // the host asks for a payment code before a payment
};

enum SbpOption {
    CustomerPresentedQr = 2,
};
} // namespace processing
