#include "platform/linux/LinuxProcessControl.h"

#include "platform/linux/ProcFiles.h"

#include <cerrno>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

QString refusedText(int32_t pid) { return QStringLiteral("process %1 may not be changed").arg(pid); }

class PidfdHandle final : public ProcessHandle {
public:
    PidfdHandle(int32_t pid, int fd) : m_pid(pid), m_fd(fd) {}
    ~PidfdHandle() override { ::close(m_fd); }

    int32_t pid() const override { return m_pid; }

    Status sendSignal(int signal) override
    {
        if (::syscall(SYS_pidfd_send_signal, m_fd, signal, nullptr, 0) != 0) return Status::failure(ProcFiles::errnoText(errno));
        return Status::success();
    }

    bool isRunning() const override
    {
        // A pidfd turns readable when its process exits, reaped or not.
        pollfd p{m_fd, POLLIN, 0};
        int n;
        do {
            n = ::poll(&p, 1, 0);
        } while (n < 0 && errno == EINTR);
        return n == 0;
    }

private:
    int32_t m_pid;
    int m_fd;
};

}  // namespace

bool LinuxProcessControl::isRefused(int32_t pid) { return pid <= 1 || pid == int32_t(::getpid()); }

Status LinuxProcessControl::lowerPriority(int32_t pid)
{
    if (isRefused(pid)) return Status::failure(refusedText(pid));
    if (::setpriority(PRIO_PROCESS, id_t(pid), 20) != 0) return Status::failure(ProcFiles::errnoText(errno));
    return Status::success();
}

Result<std::shared_ptr<ProcessHandle>> LinuxProcessControl::openProcess(int32_t pid)
{
    using R = Result<std::shared_ptr<ProcessHandle>>;
    if (isRefused(pid)) return R::failure(refusedText(pid));
    const long fd = ::syscall(SYS_pidfd_open, pid_t(pid), 0);
    if (fd < 0) return R::failure(ProcFiles::errnoText(errno));
    return R::success(std::make_shared<PidfdHandle>(pid, int(fd)));
}
