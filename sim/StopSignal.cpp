#include "sim/StopSignal.h"

namespace zorviksim {

void StopSignal::raise()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_raised = true;
    }
    m_raisedChanged.notify_all();
}

void StopSignal::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_raised = false;
}

void StopSignal::wait(std::chrono::milliseconds delay)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_raisedChanged.wait_for(lock, delay, [this] { return m_raised; });
}

} // namespace zorviksim
