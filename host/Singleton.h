#pragma once

// A process-wide instance of a host service. The pointer lives in the host library (each
// service defines its specialisation there), so the host, the plug-in and tests share it.
// Callers that find it null store a new instance themselves.
template<typename T>
class Singleton
{
public:
    static T *instance;
};

// Takes the instance of T, storing a default-constructed one when there is none yet.
template<typename T>
T *singletonInstance()
{
    if (!Singleton<T>::instance)
        Singleton<T>::instance = new T;
    return Singleton<T>::instance;
}
