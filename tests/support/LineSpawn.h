#pragma once

#include <QByteArray>
#include <sys/types.h>

// Starts a daemon that announces itself with one line on descriptor `announceFd` (its address,
// its display number ...) and reads that line. The pid is -1 when it could not start; the line
// is empty when nothing came within the timeout.
struct LineSpawn {
    pid_t pid = -1;
    QByteArray line;

    static LineSpawn start(char* const argv[], int announceFd, bool quietStderr, int timeoutMs);
    // SIGTERM and reap.
    static void stop(pid_t pid);
};
