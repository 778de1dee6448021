#include "till/PaymentWatch.h"

#include "host/log4qt/Appender.h"
#include "host/log4qt/LogManager.h"
#include "host/payment/BasicPaymentProcessing.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t interruptRequested = 0;

void onInterruptSignal(int)
{
    interruptRequested = 1;
}

// Counts the plug-in's status requests by their log lines.
class StatusRequestCounter : public Log4Qt::Appender
{
public:
    void append(const Log4Qt::LoggingEvent &event) override
    {
        if (event.message.startsWith(QStringLiteral("Получение результата операции")))
            ++count;
    }
    std::atomic<int> count{0};
};

StatusRequestCounter statusRequests;

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

    statusRequests.count = 0;
    Log4Qt::LogManager::addAppender(&statusRequests);
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
    Log4Qt::LogManager::removeAppender(&statusRequests);
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
                 statusRequests.count.load());
    std::fflush(m_progress);
}
