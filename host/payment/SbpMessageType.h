#pragma once

namespace sbp {
// Kinds of operator message that a fast-payment processing may supply.
enum MessageType {
    CpqrCheck = 0, // shown while a scanned payment code is checked
    StaticQrWait = 1,
    PaymentWait = 2,
};
} // namespace sbp
