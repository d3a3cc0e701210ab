#include "platform/linux/LinuxProcessPriority.h"

#include <cerrno>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

Status LinuxProcessPriority::lowerPriority(int32_t pid)
{
    if (pid <= 1 || pid == int32_t(::getpid())) return Status::failure(QStringLiteral("Process is protected"));
    // The kernel clamps 20 to 19, the lowest priority.
    if (::setpriority(PRIO_PROCESS, id_t(pid), 20) != 0) {
        const int error = errno;
        return Status::failure(QString::fromLocal8Bit(std::strerror(error)));
    }
    return Status::success();
}
