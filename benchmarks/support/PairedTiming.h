#pragma once

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

// Two pieces of work timed side by side in one run: each iteration does both, in alternating
// order, so that the machine's noise falls on both alike; the figures are medians.

struct Sample
{
    double wallSeconds;
    double cpuSeconds; // of the calling thread: the work itself and its system calls
};

inline double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

template<typename Work>
Sample measured(Work &&work)
{
    const double cpuStart = threadCpuSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
    return {wall.count(), threadCpuSeconds() - cpuStart};
}

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}
