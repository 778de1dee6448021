#pragma once

#include <QString>

// Which process this is, and whether another one on this machine still runs: a claim or a
// note left by a process that has died is void.
namespace ProcessLiveness {

// Names this process apart from every other, also from one that gets the same id after a
// restart of the machine: the boot, the id and the process's start time.
QString currentProcessKey();
bool isRunning(const QString &processKey);

} // namespace ProcessLiveness
