#include "VirtualDisplay.h"

#include <QProcess>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
VirtualDisplay* g_current = nullptr;
}

VirtualDisplay::VirtualDisplay()
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Xvfb writes the display number it took to this descriptor once it accepts clients.
    posix_spawn_file_actions_adddup2(&actions, out[1], 3);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char arg0[] = "/usr/bin/Xvfb";
    char arg1[] = "-displayfd";
    char arg2[] = "3";
    char arg3[] = "-nolisten";
    char arg4[] = "tcp";
    char arg5[] = "-screen";
    char arg6[] = "0";
    char arg7[] = "1280x800x24";
    char* argv[] = {arg0, arg1, arg2, arg3, arg4, arg5, arg6, arg7, nullptr};
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, arg0, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        return;
    }
    m_pid = pid;
    QByteArray number;
    char c;
    while (!number.endsWith('\n')) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0 || ::read(out[0], &c, 1) != 1) break;
        number.append(c);
    }
    ::close(out[0]);
    number = number.trimmed();
    if (!number.isEmpty()) m_name = ":" + number;
    g_current = this;
}

VirtualDisplay::~VirtualDisplay()
{
    if (g_current == this) g_current = nullptr;
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
}

VirtualDisplay* VirtualDisplay::current() { return g_current; }

int xdotool(const QStringList& arguments)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), arguments);
    if (!p.waitForFinished(10000)) return -1;
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}
