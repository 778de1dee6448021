#pragma once

#include <QString>

namespace zorvikcpqr {

// How one return is asked for.
struct ReturnOptions
{
    // Names the return at the service: every attempt at the same return sends the same id, so
    // that a repeated request is recognised rather than paid out again.
    QString refundId;
    // Whether the receipt open in the host is this return's receipt. A return carried out
    // later from the queue finds whatever receipt the till holds then, so its refund cart must
    // not list that receipt's positions.
    bool openReceiptIsReturnReceipt = true;
};

} // namespace zorvikcpqr
