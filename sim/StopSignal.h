#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace zorviksim {

// Lets a deliberately late answer end its wait early when the simulator stops, so that
// stopping never waits for the slow scenarios.
class StopSignal
{
public:
    void raise();
    void clear();
    // Returns after the delay, or as soon as the signal is raised.
    void wait(std::chrono::milliseconds delay);

private:
    std::mutex m_mutex;
    std::condition_variable m_raisedChanged;
    bool m_raised = false;
};

} // namespace zorviksim
