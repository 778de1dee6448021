#pragma once

#include <QtGlobal>

// Which process this is, and whether another one on this machine still runs: a claim or a
// note left by a process that has died is void.
namespace ProcessLiveness {

qint64 currentProcessId();
// True while the process exists (also when it belongs to another user); false for ids that
// name no process, 0 included.
bool isRunning(qint64 processId);

} // namespace ProcessLiveness
