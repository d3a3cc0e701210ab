#include "support/PrivateSessionBus.h"

#include <QtGlobal>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

PrivateSessionBus::PrivateSessionBus()
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    char arg0[] = "/usr/bin/dbus-daemon";
    char arg1[] = "--session";
    char arg2[] = "--nofork";
    char arg3[] = "--print-address=1";
    char* argv[] = {arg0, arg1, arg2, arg3, nullptr};
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, arg0, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        return;
    }
    m_pid = pid;
    // The daemon prints its address once it listens.
    QByteArray line;
    char c;
    while (!line.endsWith('\n')) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0 || ::read(out[0], &c, 1) != 1) break;
        line.append(c);
    }
    ::close(out[0]);
    m_address = line.trimmed();
    if (!m_address.isEmpty()) qputenv("DBUS_SESSION_BUS_ADDRESS", m_address);
}

PrivateSessionBus::~PrivateSessionBus()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
}
