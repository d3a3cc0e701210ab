// CPU cost of one sample of the sampling engine against one refresh of `top`, at this
// machine's process count and with 500 extra idle processes. Ours is the sampler's own
// user + system time per sample; top's is the child's user + system time per refresh.
// The floor is what no sampler can go below: listing /proc and one open/read/close of each
// process's stat file into a reused buffer, nothing else. Ours and the floor take turns, so
// that the load of the machine falls on both alike; each is the median of its passes.
#include "monitoring/SampleCollector.h"
#include "platform/linux/ProcHostCpuSource.h"
#include "platform/linux/ProcMemorySource.h"
#include "platform/linux/ProcfsProcessTable.h"
#include "platform/linux/StatvfsVolumeSource.h"
#include "platform/linux/SysfsThermalStateSource.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int refreshes = 50;

double cpuSeconds(const rusage& r)
{
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The floor: the listing and one open/read/close of /proc/PID/stat per process.
void floorPass(std::vector<char>& buffer)
{
    const int procFd = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procFd < 0) return;
    DIR* dir = fdopendir(::dup(procFd));
    char path[300];
    while (dirent* d = dir ? readdir(dir) : nullptr) {
        if (d->d_name[0] < '1' || d->d_name[0] > '9') continue;
        std::snprintf(path, sizeof path, "%s/stat", d->d_name);
        const int fd = ::openat(procFd, path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        [[maybe_unused]] ssize_t n = ::read(fd, buffer.data(), buffer.size());
        ::close(fd);
    }
    if (dir) closedir(dir);
    ::close(procFd);
}

pid_t spawn(std::vector<const char*> argv, bool quiet)
{
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char* const*>(argv.data()), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

struct PerSample {
    double ours = 0;
    double floor = 0;
};

// Per sample, in microseconds of CPU time, ours and the floor's; also reports how many
// processes a sample saw.
PerSample oursPerSample(int& processCount)
{
    ProcHostCpuSource cpu;
    ProcMemorySource memory;
    StatvfsVolumeSource volume;
    SysfsThermalStateSource thermal;
    ProcfsProcessTable table;
    SampleCollector collector(SamplerPlatform{cpu, memory, volume, thermal, table});
    SampleInputs inputs;
    inputs.now = QDateTime::currentDateTimeUtc();
    inputs.protectedLowerCased = {QStringLiteral("finder"), QStringLiteral("windowserver")};
    collector.takeSample(inputs);  // the baseline, and buffers grown

    std::vector<char> buffer(4096);
    floorPass(buffer);
    std::vector<double> ours, floor;
    for (int i = 0; i < refreshes; ++i) {
        usleep(50000);
        double before = threadCpuSeconds();
        floorPass(buffer);
        floor.push_back((threadCpuSeconds() - before) * 1e6);
        usleep(50000);
        before = threadCpuSeconds();
        collector.takeSample(inputs);
        ours.push_back((threadCpuSeconds() - before) * 1e6);
    }
    std::vector<ProcessEntry> entries;
    table.readProcesses(entries);
    processCount = int(entries.size());
    return {median(ours), median(floor)};
}

double topPerRefresh()
{
    const pid_t pid = spawn({"/usr/bin/top", "-b", "-d", "0.1", "-n", "50"}, true);
    if (pid < 0) return -1;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return cpuSeconds(usage) / refreshes * 1e6;
}

void report(const char* label)
{
    int processes = 0;
    const PerSample per = oursPerSample(processes);
    const double top = topPerRefresh();
    std::printf("processes_%s: %d count\n", label, processes);
    std::printf("sample_cpu_per_sample_%s: %.1f us\n", label, per.ours);
    std::printf("floor_cpu_per_sample_%s: %.1f us\n", label, per.floor);
    std::printf("top_cpu_per_refresh_%s: %.1f us\n", label, top);
    std::printf("ratio_sample_to_floor_%s: %.3f ratio\n", label, per.floor > 0 ? per.ours / per.floor : -1.0);
    std::printf("ratio_sample_to_top_%s: %.3f ratio\n", label, top > 0 ? per.ours / top : -1.0);
    std::fflush(stdout);
}

}  // namespace

int main()
{
    report("machine");

    std::vector<pid_t> idle;
    for (int i = 0; i < 500; ++i) {
        const pid_t pid = spawn({"/bin/sleep", "600"}, true);
        if (pid > 0) idle.push_back(pid);
    }
    usleep(300000);
    report("plus500");

    for (pid_t pid : idle) kill(pid, SIGKILL);
    for (pid_t pid : idle) waitpid(pid, nullptr, 0);
    return 0;
}
