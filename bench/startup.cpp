// Start-up cost: time from exec to the end of the launch routine, and resident memory then.
// The parent spawns this program again as the application stack and reads the child's figures.
#include "app/AppContext.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

#include "BenchClock.h"

using bench::cpuSeconds;
using bench::monotonicMs;
using bench::residentKb;

namespace {

int child(int argc, char** argv)
{
    QApplication app(argc, argv);
    AppContext context;
    context.delegate().applicationDidFinishLaunching();
    const double end = monotonicMs();
    std::printf("%.3f %ld\n", end, residentKb());
    std::fflush(stdout);
    context.delegate().applicationWillTerminate();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--child") return child(argc, argv);

    QTemporaryDir home;
    setenv("HOME", QFile::encodeName(home.path()).constData(), 1);
    setenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + "/.config").constData(), 1);
    setenv("XDG_DATA_HOME", QFile::encodeName(home.path() + "/.local/share").constData(), 1);
    setenv("XDG_CACHE_HOME", QFile::encodeName(home.path() + "/.cache").constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);

    std::vector<double> times;
    std::vector<long> rss;
    for (int run = 0; run < 5; ++run) {
        int pipeFds[2];
        if (pipe(pipeFds) != 0) return 1;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        char childFlag[] = "--child";
        char* args[] = {argv[0], childFlag, nullptr};
        pid_t pid = 0;
        const double start = monotonicMs();
        if (posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, args, environ) != 0) return 1;
        close(pipeFds[1]);
        char buffer[128] = {};
        ssize_t n = read(pipeFds[0], buffer, sizeof buffer - 1);
        close(pipeFds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        posix_spawn_file_actions_destroy(&actions);
        double end = 0;
        long kb = 0;
        if (n <= 0 || std::sscanf(buffer, "%lf %ld", &end, &kb) != 2) return 1;
        times.push_back(end - start);
        rss.push_back(kb);
    }
    std::sort(times.begin(), times.end());
    std::sort(rss.begin(), rss.end());
    std::printf("startup_to_launch_end_ms %.1f\n", times[times.size() / 2]);
    std::printf("resident_after_launch_mb %.1f\n", double(rss[rss.size() / 2]) / 1024.0);
    return 0;
}
