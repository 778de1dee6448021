#pragma once

#include <QSharedPointer>

// The installed substitute (never deleted through the pointer) or a new T that the pointer owns.
// Nothing is known of its destructor: a derived class declares its own virtual one.
template<typename T>
class MockFactory
{
public:
    static QSharedPointer<T> create();
};
