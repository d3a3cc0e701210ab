#include "platform/linux/LinuxProcessControl.h"

#include "platform/linux/ProcFiles.h"
#include "platform/linux/ProcfsProcessTable.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

QString refusedText(int32_t pid) { return QStringLiteral("process %1 may not be changed").arg(pid); }

bool pidfdRunning(int fd)
{
    // A pidfd turns readable when its process exits, reaped or not.
    pollfd p{fd, POLLIN, 0};
    int n;
    do {
        n = ::poll(&p, 1, 0);
    } while (n < 0 && errno == EINTR);
    return n == 0;
}

// Real, effective and saved uid all ours: a set-uid program the user started is not the user's.
// Read from the "Uid:" line of /proc/PID/status; false when it cannot be read.
bool ownedByThisUser(int32_t pid)
{
    char path[48];
    std::snprintf(path, sizeof path, "/proc/%d/status", int(pid));
    char buffer[4096];
    const ssize_t n = ProcFiles::readInto(AT_FDCWD, path, buffer, sizeof buffer - 1);
    if (n <= 0) return false;
    buffer[n] = '\0';
    const char* line = std::strstr(buffer, "\nUid:");
    if (!line) return false;
    const char* p = line + 5;
    const char* end = buffer + n;
    const uint64_t own = ::getuid();
    for (int i = 0; i < 3; ++i) {
        while (p < end && (*p == ' ' || *p == '\t')) ++p;
        uint64_t uid = 0;
        if (!ProcFiles::parseUnsigned(p, end, uid) || uid != own) return false;
    }
    return true;
}

ProcessStatus errnoStatus(int error)
{
    return error == ESRCH ? ProcessStatus::exited() : ProcessStatus::failed(ProcFiles::errnoText(error));
}

class PidfdHandle final : public ProcessHandle {
public:
    PidfdHandle(int32_t pid, int fd) : m_pid(pid), m_fd(fd) {}
    ~PidfdHandle() override { ::close(m_fd); }

    int32_t pid() const override { return m_pid; }

    ProcessStatus sendSignal(int signal) override
    {
        if (::syscall(SYS_pidfd_send_signal, m_fd, signal, nullptr, 0) != 0) return errnoStatus(errno);
        return ProcessStatus::done();
    }

    bool isRunning() const override { return pidfdRunning(m_fd); }

private:
    int32_t m_pid;
    int m_fd;
};

// Opens a pidfd for `process` and checks, after it is open, that the pid still belongs to the
// process that started at its start time. A pid given to another process in between fails the
// check; one given away after it leaves the pidfd pointing at the exited process, which no
// signal reaches. `fd` is set only on success.
ProcessStatus pin(ProcessIdentity process, ProcessOwner owner, int& fd)
{
    if (LinuxProcessControl::isRefused(process.pid)) return ProcessStatus::failed(refusedText(process.pid));
    const long opened = ::syscall(SYS_pidfd_open, pid_t(process.pid), 0);
    if (opened < 0) return errnoStatus(errno);
    const auto now = LinuxProcessControl::identityOf(process.pid);
    if (!now || now->startTime != process.startTime || !pidfdRunning(int(opened))) {
        ::close(int(opened));
        return ProcessStatus::exited();
    }
    if (owner == ProcessOwner::thisUser && !ownedByThisUser(process.pid)) {
        ::close(int(opened));
        return ProcessStatus::otherUser(process.pid);
    }
    fd = int(opened);
    return ProcessStatus::done();
}

}  // namespace

bool LinuxProcessControl::isRefused(int32_t pid) { return pid <= 1 || pid == int32_t(::getpid()); }

std::optional<ProcessIdentity> LinuxProcessControl::identityOf(int32_t pid)
{
    if (pid <= 0) return std::nullopt;
    char path[48];
    std::snprintf(path, sizeof path, "/proc/%d/stat", int(pid));
    char buffer[1024];
    const ssize_t n = ProcFiles::readInto(AT_FDCWD, path, buffer, sizeof buffer);
    if (n <= 0) return std::nullopt;
    ProcessEntry entry;
    if (!ProcfsProcessTable::parseStat(pid, buffer, size_t(n), 1, 1, entry)) return std::nullopt;
    return ProcessIdentity{pid, entry.startTime};
}

ProcessStatus LinuxProcessControl::lowerPriority(ProcessIdentity process, ProcessOwner owner)
{
    int fd = -1;
    const ProcessStatus pinned = pin(process, owner, fd);
    if (!pinned) return pinned;
    // setpriority has no pidfd form, so the check is made again afterwards: if the process
    // exited in between and its pid went to another one, the change may have reached that one.
    const int changed = ::setpriority(PRIO_PROCESS, id_t(process.pid), 20);
    const int error = errno;
    const bool stillRunning = pidfdRunning(fd);
    ::close(fd);
    if (!stillRunning) {
        const auto now = identityOf(process.pid);
        if (now && now->startTime == process.startTime) return ProcessStatus::exited();
        return ProcessStatus::failed(
            QStringLiteral("process %1 exited while its priority was being lowered; the change may have reached the "
                           "process that took its pid")
                .arg(process.pid));
    }
    if (changed != 0) return errnoStatus(error);
    return ProcessStatus::done();
}

OpenedProcess LinuxProcessControl::openProcess(ProcessIdentity process, ProcessOwner owner)
{
    int fd = -1;
    const ProcessStatus pinned = pin(process, owner, fd);
    if (!pinned) return OpenedProcess::refused(pinned);
    return OpenedProcess::of(std::make_shared<PidfdHandle>(process.pid, fd));
}
