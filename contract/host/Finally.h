#pragma once

#include <functional>

// Runs the function when it is destroyed.
class Finally
{
public:
    explicit Finally(std::function<void()> function);
    ~Finally();
};
