#include "support/ChildProcess.h"

#include <QFile>
#include <QThread>
#include <csignal>
#include <linux/sched.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

ChildProcess::ChildProcess(const QStringList& argv)
{
    std::vector<QByteArray> storage;
    for (const QString& a : argv) storage.push_back(QFile::encodeName(a));
    std::vector<char*> args;
    for (QByteArray& a : storage) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Start from default signal handling whatever the test runner set up.
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attr, &all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], nullptr, &attr, args.data(), environ) == 0) m_pid = pid;
    posix_spawnattr_destroy(&attr);
}

ChildProcess::~ChildProcess()
{
    if (m_pid > 0 && !m_reaped) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &m_status, 0);
    }
}

bool ChildProcess::waitForExit(std::chrono::milliseconds timeout)
{
    if (m_reaped) return true;
    if (m_pid <= 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const pid_t r = ::waitpid(m_pid, &m_status, WNOHANG);
        if (r == m_pid) {
            m_reaped = true;
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        QThread::msleep(10);
    }
}

std::optional<int> ChildProcess::terminatingSignal() const
{
    if (!m_reaped || !WIFSIGNALED(m_status)) return std::nullopt;
    return WTERMSIG(m_status);
}

std::optional<int> ChildProcess::niceOf(pid_t pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray line = f.readAll();
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0) return std::nullopt;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    // Fields after the name start at 3 (state); nice is 19.
    if (fields.size() < 17) return std::nullopt;
    bool ok = false;
    const int nice = fields[19 - 3].toInt(&ok);
    return ok ? std::optional<int>(nice) : std::nullopt;
}

QString ChildProcess::writeSpinner(const QString& dir, const QString& name)
{
    const QString path = dir + QLatin1Char('/') + name;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {};
    f.write("#!/bin/sh\nwhile :; do :; done\n");
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

pid_t ChildProcess::startWithPid(pid_t wanted, const QByteArray& program)
{
    pid_t tid = wanted;
    clone_args args{};
    args.exit_signal = SIGCHLD;
    args.set_tid = reinterpret_cast<uint64_t>(&tid);
    args.set_tid_size = 1;
    const long child = ::syscall(SYS_clone3, &args, sizeof args);
    if (child == 0) {
        // Nothing that allocates between the clone and the exec: other threads may hold locks.
        char seconds[] = "600";
        char* argv[] = {const_cast<char*>(program.constData()), seconds, nullptr};
        ::execv(program.constData(), argv);
        ::_exit(127);
    }
    return pid_t(child);
}
