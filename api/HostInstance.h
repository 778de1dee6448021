#pragma once

#include "host/Singleton.h"

namespace zorvikcpqr {

// The host's process-wide T. The host may not have made one yet: then the caller stores a new
// one, as every user of the host's singletons does.
template<typename T>
T *hostInstance()
{
    if (!Singleton<T>::instance)
        Singleton<T>::instance = new T;
    return Singleton<T>::instance;
}

} // namespace zorvikcpqr
