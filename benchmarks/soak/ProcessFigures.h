#pragma once

#include <QtGlobal>

// What a running process holds at one moment, as the kernel reports it in /proc.
struct ProcessFigures
{
    qint64 residentKib = -1; // VmRSS
    int openFiles = -1;      // entries of /proc/PID/fd

    bool isValid() const { return residentKib >= 0 && openFiles >= 0; }

    static ProcessFigures of(qint64 pid);
};
