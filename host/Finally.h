#pragma once

#include <functional>
#include <utility>

// Runs a function when the scope that holds the guard ends, on every path out of it.
class Finally
{
public:
    explicit Finally(std::function<void()> function)
        : m_function(std::move(function))
    {}
    ~Finally()
    {
        if (m_function)
            m_function();
    }

    Finally(const Finally &) = delete;
    Finally &operator=(const Finally &) = delete;

private:
    std::function<void()> m_function;
};
