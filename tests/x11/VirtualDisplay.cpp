#include "VirtualDisplay.h"

#include "support/LineSpawn.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>

namespace {
VirtualDisplay* g_current = nullptr;
}

VirtualDisplay::VirtualDisplay()
{
    char arg0[] = "/usr/bin/Xvfb";
    char arg1[] = "-displayfd";
    char arg2[] = "3";
    char arg3[] = "-nolisten";
    char arg4[] = "tcp";
    char arg5[] = "-screen";
    char arg6[] = "0";
    char arg7[] = "1280x800x24";
    char* argv[] = {arg0, arg1, arg2, arg3, arg4, arg5, arg6, arg7, nullptr};
    // Xvfb writes the display number it took to descriptor 3 once it accepts clients.
    const LineSpawn server = LineSpawn::start(argv, 3, true, 10000);
    m_pid = server.pid;
    if (!server.line.isEmpty()) m_name = ":" + server.line;
    g_current = this;
}

VirtualDisplay::~VirtualDisplay()
{
    if (g_current == this) g_current = nullptr;
    LineSpawn::stop(m_pid);
}

VirtualDisplay* VirtualDisplay::current() { return g_current; }

int xdotool(const QStringList& arguments)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), arguments);
    if (!p.waitForFinished(10000)) return -1;
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool waitFor(const std::function<bool()>& condition, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}
