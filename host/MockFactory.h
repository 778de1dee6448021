#pragma once

#include "host/MockRegistry.h"

#include <QSharedPointer>

// Creates the objects that tests may replace: create() gives the installed substitute, which
// the pointer never deletes, or a new T that the pointer owns.
template<typename T>
class MockFactory
{
public:
    virtual ~MockFactory() = default;

    static QSharedPointer<T> create()
    {
        if (T *installed = substitute())
            return QSharedPointer<T>(installed, [](T *) {});
        return QSharedPointer<T>(new T);
    }

    static T *substitute() { return static_cast<T *>(MockRegistry::substitute(typeid(T))); }
    static void setSubstitute(T *object) { MockRegistry::setSubstitute(typeid(T), object); }
    static void clearSubstitute() { MockRegistry::setSubstitute(typeid(T), nullptr); }
};
