#include "support/LineSpawn.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

LineSpawn LineSpawn::start(char* const argv[], int announceFd, bool quietStderr, int timeoutMs)
{
    LineSpawn result;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], announceFd);
    if (quietStderr) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        return result;
    }
    result.pid = pid;
    char c;
    while (!result.line.endsWith('\n')) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0 || ::read(out[0], &c, 1) != 1) break;
        result.line.append(c);
    }
    ::close(out[0]);
    result.line = result.line.trimmed();
    return result;
}

void LineSpawn::stop(pid_t pid)
{
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}
