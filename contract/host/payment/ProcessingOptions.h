#pragma once

// The host fixes these values as numbers only: the names are our own.
namespace EPaymentProcessingOption {
enum Option {
    QrCodePayment = 0x4000,
};
}

namespace processing {
enum Option {
    ProcessingEnabled = 0,
    RequestPaymentCode = 14,
};

enum SbpOption {
    CustomerPresentedQr = 2,
};
} // namespace processing
