#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <sys/types.h>

// A real child process for tests that signal or renice processes: started with an argument
// list, killed and reaped when the test is done with it.
class ChildProcess {
public:
    explicit ChildProcess(const QStringList& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return m_pid; }
    bool started() const { return m_pid > 0; }
    // Waits (really) until the child has exited and reaps it; false on timeout.
    bool waitForExit(std::chrono::milliseconds timeout);
    // The signal that ended the child, when one did.
    std::optional<int> terminatingSignal() const;

    // Field 19 of /proc/PID/stat.
    static std::optional<int> niceOf(pid_t pid);
    // Starts `program` with the argument "600" under the pid `wanted` (clone3 with set_tid,
    // which needs CAP_SYS_ADMIN), to play a process that reused a pid. Returns the new pid, or
    // -1 with errno set; the caller kills and reaps it.
    static pid_t startWithPid(pid_t wanted, const QByteArray& program);
    // A shell script that spins forever, under `name` in `dir`; returns its path.
    static QString writeSpinner(const QString& dir, const QString& name);

private:
    pid_t m_pid = -1;
    bool m_reaped = false;
    int m_status = 0;
};
