#pragma once

#include "host/MockFactory.h"

#include <QtGlobal>

namespace zorvikcpqr {

// The pauses of a payment: the wait before the first status request and the steps of the wait
// between requests. Obtained through MockFactory, so that a substitute can stand in for the
// clock and note each pause instead of sleeping.
class Waiter : public MockFactory<Waiter>
{
public:
    // The length of one step; the cashier's interruption is seen after each.
    static constexpr qint64 StepMs = 250;

    virtual ~Waiter() = default;

    // Sleeps the whole time, even when signals interrupt the sleep.
    virtual void sleepSeconds(qint64 seconds);
    virtual void sleepStep();
};

} // namespace zorvikcpqr
