#include "host/ProcessLiveness.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace ProcessLiveness {

qint64 currentProcessId()
{
    return ::getpid();
}

bool isRunning(qint64 processId)
{
    if (processId <= 0 || processId != qint64(pid_t(processId)))
        return false;
    return ::kill(pid_t(processId), 0) == 0 || errno == EPERM;
}

} // namespace ProcessLiveness
