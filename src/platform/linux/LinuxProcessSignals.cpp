#include "platform/linux/LinuxProcessSignals.h"

#include <QThreadPool>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

Status refuseSpecial(int32_t pid)
{
    if (pid <= 1 || pid == ::getpid()) return Status::failure(QStringLiteral("refused: pid %1").arg(pid));
    return Status::success();
}

int pidfdOpen(int32_t pid) { return int(::syscall(SYS_pidfd_open, pid, 0)); }
int pidfdSignal(int fd, int signal) { return int(::syscall(SYS_pidfd_send_signal, fd, signal, nullptr, 0)); }

}  // namespace

LinuxProcessSignals::LinuxProcessSignals(std::chrono::milliseconds killDelay) : m_killDelay(killDelay) {}

LinuxProcessSignals::~LinuxProcessSignals() = default;

Status LinuxProcessSignals::lowerPriority(int32_t pid)
{
    if (Status refused = refuseSpecial(pid); !refused) return refused;
    if (::setpriority(PRIO_PROCESS, id_t(pid), 20) != 0) return Status::failure(errnoText(errno));
    return Status::success();
}

Status LinuxProcessSignals::terminate(int32_t pid)
{
    if (Status refused = refuseSpecial(pid); !refused) return refused;
    const int fd = pidfdOpen(pid);
    if (fd < 0) return Status::failure(errnoText(errno));
    if (pidfdSignal(fd, SIGTERM) != 0) {
        const int error = errno;
        ::close(fd);
        return Status::failure(errnoText(error));
    }
    // The pidfd turns readable when the process ends; until the delay runs out it may still
    // save and quit on its own.
    const int delayMs = int(m_killDelay.count());
    QThreadPool::globalInstance()->start([fd, delayMs] {
        pollfd watch{fd, POLLIN, 0};
        int ready = 0;
        do {
            ready = ::poll(&watch, 1, delayMs);
        } while (ready < 0 && errno == EINTR);
        if (ready == 0) pidfdSignal(fd, SIGKILL);
        ::close(fd);
    });
    return Status::success();
}
