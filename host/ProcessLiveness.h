#pragma once

#include <QString>

// Which process this is, and whether another one on this machine still runs: a claim or a
// note left by a process that has died is void.
namespace ProcessLiveness {

qint64 currentProcessId();
// True while the process exists (also when it belongs to another user); false for ids that
// name no process, 0 included. An id may be reused by a later process.
bool isRunning(qint64 processId);

// Names this process apart from every other, also from one that gets the same id after a
// restart of the machine: the boot, the id and the process's start time.
QString currentProcessKey();
bool isRunning(const QString &processKey);

} // namespace ProcessLiveness
