// CPU cost of one sample of the sampling engine against one refresh of `top -d 1`, at this
// machine's process count and with idle processes added up to SAMPLE_PROCESSES (default 2100).
// Ours is the sampler's own user + system time per sample, taken at the application's 1 s
// cadence; top's is the child's user + system time per refresh, running alongside at its 1 s
// delay. The floor is what no sampler can go below: listing /proc and one open/read/close of
// each process's stat file into a reused buffer, nothing else. Ours and the floor take turns
// half a second apart, so that the load of the machine falls on both alike; each is the median
// of its passes (SAMPLE_REFRESHES, default 30).
// The process starts as a desktop starts the application, with the open-file limit at 1024,
// and raises it as the application does at start-up.
#include "monitoring/SampleCollector.h"
#include "platform/linux/ProcHostCpuSource.h"
#include "platform/linux/ProcMemorySource.h"
#include "platform/linux/ProcfsProcessTable.h"
#include "platform/linux/StatvfsVolumeSource.h"
#include "platform/linux/SysfsThermalStateSource.h"

#include <algorithm>
#include <cstdlib>
#include <string>
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

int refreshes = 30;

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

// Per sample, in microseconds of CPU time, ours and the floor's, at a 1 s cadence; also reports
// how many processes a sample saw and top's cost per refresh, running alongside.
PerSample oursPerSample(int& processCount, double& topPerRefresh)
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
    const std::string count = std::to_string(refreshes + 1);
    const pid_t top = spawn({"/usr/bin/top", "-b", "-d", "1", "-n", count.c_str()}, true);
    std::vector<double> ours, floor;
    for (int i = 0; i < refreshes; ++i) {
        usleep(500000);
        double before = threadCpuSeconds();
        floorPass(buffer);
        floor.push_back((threadCpuSeconds() - before) * 1e6);
        usleep(500000);
        before = threadCpuSeconds();
        collector.takeSample(inputs);
        ours.push_back((threadCpuSeconds() - before) * 1e6);
    }
    topPerRefresh = -1;
    int status = 0;
    rusage usage{};
    if (top > 0 && wait4(top, &status, 0, &usage) == top && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        topPerRefresh = cpuSeconds(usage) / (refreshes + 1) * 1e6;
    }
    std::vector<ProcessEntry> entries;
    table.readProcesses(entries);
    processCount = int(entries.size());
    return {median(ours), median(floor)};
}

std::string loadAverage()
{
    char text[128] = {};
    const int fd = ::open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        [[maybe_unused]] ssize_t n = ::read(fd, text, sizeof text - 1);
        ::close(fd);
    }
    std::string load(text);
    size_t cut = 0;
    for (int fields = 0; fields < 3 && cut != std::string::npos; ++fields) cut = load.find(' ', cut + 1);
    return load.substr(0, cut);
}

int processCountNow()
{
    int n = 0;
    if (DIR* dir = opendir("/proc")) {
        while (dirent* d = readdir(dir)) n += d->d_name[0] >= '1' && d->d_name[0] <= '9';
        closedir(dir);
    }
    return n;
}

void report(const char* label)
{
    int processes = 0;
    double top = -1;
    const std::string loadBefore = loadAverage();
    const PerSample per = oursPerSample(processes, top);
    std::printf("load_average_%s: %s -> %s\n", label, loadBefore.c_str(), loadAverage().c_str());
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
    if (const char* v = std::getenv("SAMPLE_REFRESHES"); v && std::atoi(v) > 0) refreshes = std::atoi(v);
    const int wanted = std::getenv("SAMPLE_PROCESSES") ? std::atoi(std::getenv("SAMPLE_PROCESSES")) : 2100;
    // As a desktop session starts a program, then as the application raises it at start-up.
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = std::min<rlim_t>(1024, limit.rlim_max);
    setrlimit(RLIMIT_NOFILE, &limit);
    std::printf("open_file_limit_at_start: %llu\n", (unsigned long long)limit.rlim_cur);
#ifndef SAMPLE_KEEPS_THE_LIMIT
    std::printf("open_file_limit_raised_to: %llu\n", (unsigned long long)ProcfsProcessTable::raiseOpenFileLimit());
#endif
    std::printf("sample_interval: 1 s\n");
    std::fflush(stdout);
    report("machine");

    std::vector<pid_t> idle;
    for (int i = processCountNow(); i < wanted; ++i) {
        const pid_t pid = spawn({"/bin/sleep", "600"}, true);
        if (pid > 0) idle.push_back(pid);
    }
    usleep(300000);
    const std::string label = "at" + std::to_string(wanted);
    report(label.c_str());

    for (pid_t pid : idle) kill(pid, SIGKILL);
    for (pid_t pid : idle) waitpid(pid, nullptr, 0);
    return 0;
}
