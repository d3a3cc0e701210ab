// The dashboard's cost: time from process start to its first painted frame (offscreen), then,
// with the window left open at the default timers for 60 s, resident memory at the end and the
// process's CPU time over those seconds as a percentage of one core.
// The parent spawns this program again as the application and reads the child's figures.
#include "app/AppContext.h"
#include "ui/dashboard/DashboardWindowController.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

#include "BenchClock.h"

using bench::cpuSeconds;
using bench::monotonicMs;
using bench::residentKb;

namespace {

int child(int argc, char** argv, int seconds)
{
    QApplication app(argc, argv);
    AppContext context;
    DashboardWindowController& dashboard = context.dashboard();
    double firstFrame = 0;
    double cpuAtOpen = 0;
    double wallAtOpen = 0;
    QObject::connect(&dashboard, &DashboardWindowController::firstFramePainted, &app, [&] {
        firstFrame = monotonicMs();
        cpuAtOpen = cpuSeconds();
        wallAtOpen = firstFrame;
        QTimer::singleShot(seconds * 1000, &app, [] { QCoreApplication::quit(); });
    });
    QTimer::singleShot(0, &app, [&] {
        context.delegate().applicationDidFinishLaunching();
        dashboard.open();
    });
    QApplication::exec();
    const double cpuPercent = (cpuSeconds() - cpuAtOpen) / ((monotonicMs() - wallAtOpen) / 1e3) * 100.0;
    std::printf("%.3f %ld %.3f\n", firstFrame, residentKb(), cpuPercent);
    std::fflush(stdout);
    context.delegate().applicationWillTerminate();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // --seconds N shortens the open period for a quick look; the reported figures use 60.
    int seconds = 60;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--seconds") seconds = std::max(1, std::atoi(argv[i + 1]));
    if (argc > 1 && std::string(argv[1]) == "--child") return child(argc, argv, seconds);

    QTemporaryDir home;
    setenv("HOME", QFile::encodeName(home.path()).constData(), 1);
    setenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + "/.config").constData(), 1);
    setenv("XDG_DATA_HOME", QFile::encodeName(home.path() + "/.local/share").constData(), 1);
    setenv("XDG_CACHE_HOME", QFile::encodeName(home.path() + "/.cache").constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);

    int pipeFds[2];
    if (pipe(pipeFds) != 0) return 1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    const std::string secondsText = std::to_string(seconds);
    char childFlag[] = "--child";
    char secondsFlag[] = "--seconds";
    char* args[] = {argv[0], childFlag, secondsFlag, const_cast<char*>(secondsText.c_str()), nullptr};
    pid_t pid = 0;
    const double start = monotonicMs();
    if (posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, args, environ) != 0) return 1;
    close(pipeFds[1]);
    char buffer[256] = {};
    ssize_t n = 0, got = 0;
    while ((n = read(pipeFds[0], buffer + got, sizeof buffer - 1 - size_t(got))) > 0) got += n;
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    double frame = 0, cpu = 0;
    long kb = 0;
    if (got <= 0 || std::sscanf(buffer, "%lf %ld %lf", &frame, &kb, &cpu) != 3 || frame <= 0) return 1;
    std::printf("dashboard_first_frame_ms %.1f\n", frame - start);
    std::printf("resident_dashboard_open_%ds_mb %.1f\n", seconds, double(kb) / 1024.0);
    std::printf("cpu_percent_one_core_dashboard_open %.2f\n", cpu);
    return 0;
}
