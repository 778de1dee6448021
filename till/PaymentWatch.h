#pragma once

#include "till/StatusRequestCounter.h"

#include <QElapsedTimer>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

class BasicPaymentProcessing;

// Watches a payment while it blocks the till: interrupts it as the cashier would (Ctrl-C, or
// after a set time) and, on a terminal, keeps a progress line of the elapsed time and the status
// requests made so far, counted by the REST client the till lends the plug-in meanwhile.
class PaymentWatch
{
public:
    // interruptAfterSeconds < 0: only Ctrl-C interrupts. progress: null for no progress line.
    PaymentWatch(BasicPaymentProcessing *processing, double interruptAfterSeconds, FILE *progress);
    ~PaymentWatch();

    PaymentWatch(const PaymentWatch &) = delete;
    PaymentWatch &operator=(const PaymentWatch &) = delete;

private:
    void watch();
    void showProgress();

    BasicPaymentProcessing *m_processing;
    double m_interruptAfterSeconds;
    FILE *m_progress;
    StatusRequestCounter m_statusRequests;
    bool m_lendsClient = false; // false when another client stands in already
    QElapsedTimer m_elapsed;
    bool m_interrupted = false;

    std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stop = false;
    std::thread m_thread;
};
