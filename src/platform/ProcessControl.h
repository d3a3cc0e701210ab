#pragma once

#include "core/Result.h"

#include <cstdint>
#include <memory>

// One process as it was sampled. A pid alone names whoever holds it now; with the start time
// (clock ticks after boot, field 22 of /proc/PID/stat) it names the process that was seen.
struct ProcessIdentity {
    int32_t pid = 0;
    uint64_t startTime = 0;
};

// Whose processes a change may reach. Automatic work and requests by name reach only the user's
// own processes, also when the application runs as root; a pid the user picked in a window may
// be anyone's the kernel lets us change.
enum class ProcessOwner { thisUser, anyUser };

// The outcome of a change to a process. `exited` and `otherUser` mean nothing was done and
// nothing is to be recorded: the process seen is gone (its pid may be someone else's now), or it
// is not ours to change automatically.
class ProcessStatus {
public:
    enum class Kind { done, exited, otherUser, failed };

    static ProcessStatus done() { return ProcessStatus(Kind::done, QString()); }
    static ProcessStatus exited() { return ProcessStatus(Kind::exited, QStringLiteral("process already exited")); }
    static ProcessStatus otherUser(int32_t pid)
    {
        return ProcessStatus(Kind::otherUser, QStringLiteral("process %1 belongs to another user").arg(pid));
    }
    static ProcessStatus failed(QString error) { return ProcessStatus(Kind::failed, std::move(error)); }

    Kind kind() const { return m_kind; }
    bool ok() const { return m_kind == Kind::done; }
    explicit operator bool() const { return ok(); }
    // Nothing happened that anyone needs to hear about.
    bool leftAlone() const { return m_kind == Kind::exited || m_kind == Kind::otherUser; }
    const QString& error() const { return m_error; }

private:
    ProcessStatus(Kind kind, QString error) : m_kind(kind), m_error(std::move(error)) {}
    Kind m_kind;
    QString m_error;
};

// A process pinned at the moment it was opened: signals reach that process or nobody, even
// when its pid is later given to another one.
class ProcessHandle {
public:
    virtual ~ProcessHandle() = default;
    virtual int32_t pid() const = 0;
    // `exited` once the process is gone.
    virtual ProcessStatus sendSignal(int signal) = 0;
    // False once the process has exited (also while it waits to be reaped).
    virtual bool isRunning() const = 0;
};

// What openProcess gives: a handle, or why there is none.
struct OpenedProcess {
    std::shared_ptr<ProcessHandle> handle;
    ProcessStatus status = ProcessStatus::failed(QString());

    static OpenedProcess of(std::shared_ptr<ProcessHandle> h) { return {std::move(h), ProcessStatus::done()}; }
    static OpenedProcess refused(ProcessStatus why) { return {nullptr, std::move(why)}; }
    explicit operator bool() const { return handle != nullptr; }
};

// Changes to other processes. Each change first checks that the process behind the pid still
// started at `startTime`; a mismatch is `exited` and nothing is done. pid <= 1 and our own pid
// are always refused.
class ProcessControl {
public:
    virtual ~ProcessControl() = default;
    // setpriority(PRIO_PROCESS, pid, 20); the kernel stores 19.
    virtual ProcessStatus lowerPriority(ProcessIdentity process, ProcessOwner owner) = 0;
    virtual OpenedProcess openProcess(ProcessIdentity process, ProcessOwner owner) = 0;
};
