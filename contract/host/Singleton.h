#pragma once

// A process-wide pointer of the host; a caller that finds it null stores a new T there.
template<typename T>
class Singleton
{
public:
    static T *instance;
};
