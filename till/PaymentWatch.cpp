#include "till/PaymentWatch.h"

#include "host/MockFactory.h"
#include "host/payment/BasicPaymentProcessing.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t interruptRequested = 0;

void onInterruptSignal(int)
{
    interruptRequested = 1;
}

struct sigaction previousInterruptAction;

} // namespace

PaymentWatch::PaymentWatch(BasicPaymentProcessing *processing,
                           double interruptAfterSeconds,
                           FILE *progress)
    : m_processing(processing)
    , m_interruptAfterSeconds(interruptAfterSeconds)
    , m_progress(progress)
{
    interruptRequested = 0;
    struct sigaction action = {};
    action.sa_handler = onInterruptSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInterruptAction);

    m_lendsClient = MockFactory<RestClient>::substitute() == nullptr;
    if (m_lendsClient)
        MockFactory<RestClient>::setSubstitute(&m_statusRequests);
    m_elapsed.start();
    m_thread = std::thread([this] { watch(); });
}

PaymentWatch::~PaymentWatch()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_stopped.notify_all();
    m_thread.join();
    if (m_lendsClient)
        MockFactory<RestClient>::clearSubstitute();
    sigaction(SIGINT, &previousInterruptAction, nullptr);
    if (m_progress) {
        std::fputs("\r\033[K", m_progress);
        std::fflush(m_progress);
    }
}

void PaymentWatch::watch()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopped.wait_for(lock, std::chrono::milliseconds(100), [this] { return m_stop; })) {
        const bool timeIsUp
            = m_interruptAfterSeconds >= 0 && m_elapsed.elapsed() >= m_interruptAfterSeconds * 1000;
        if (!m_interrupted && (interruptRequested || timeIsUp)) {
            m_interrupted = true;
            m_processing->interruptPayment();
        }
        showProgress();
    }
}

void PaymentWatch::showProgress()
{
    if (!m_progress)
        return;
    std::fprintf(m_progress,
                 "\r\033[K  ожидание оплаты: %.1f с, запросов статуса: %d",
                 m_elapsed.elapsed() / 1000.0,
                 m_statusRequests.count());
    std::fflush(m_progress);
}
