#include "processing/Waiter.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <thread>

namespace zorvikcpqr {

void Waiter::sleepSeconds(qint64 seconds)
{
    timespec remaining{static_cast<time_t>(seconds), 0};
    while (nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
    }
}

void Waiter::sleepStep()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(StepMs));
}

} // namespace zorvikcpqr
