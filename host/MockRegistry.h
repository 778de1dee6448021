#pragma once

#include <typeinfo>

// Holds the substitutes installed through MockFactory<T>, keyed by type. It lives in the host
// library so that an executable and a plug-in loaded into it see the same substitutes.
class MockRegistry
{
public:
    static void *substitute(const std::type_info &type);
    static void setSubstitute(const std::type_info &type, void *object);
};
