// CPU cost of one sample of the sampling engine against one refresh of `top`, at this
// machine's process count and with 500 extra idle processes. Ours is the sampler's own
// user + system time per sample; top's is the child's user + system time per refresh.
#include "monitoring/SampleCollector.h"
#include "platform/linux/ProcHostCpuSource.h"
#include "platform/linux/ProcMemorySource.h"
#include "platform/linux/ProcfsProcessTable.h"
#include "platform/linux/StatvfsVolumeSource.h"
#include "platform/linux/SysfsThermalStateSource.h"

#include <cstdio>
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

double selfCpuSeconds()
{
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return cpuSeconds(r);
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

// Per sample, in microseconds of CPU time; also reports how many processes a sample saw.
double oursPerSample(int& processCount)
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

    double total = 0;
    for (int i = 0; i < refreshes; ++i) {
        usleep(100000);
        const double before = selfCpuSeconds();
        collector.takeSample(inputs);
        total += selfCpuSeconds() - before;
    }
    std::vector<ProcessEntry> entries;
    table.readProcesses(entries);
    processCount = int(entries.size());
    return total / refreshes * 1e6;
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
    const double ours = oursPerSample(processes);
    const double top = topPerRefresh();
    std::printf("processes_%s %d\n", label, processes);
    std::printf("sample_cpu_us_per_sample_%s %.1f\n", label, ours);
    std::printf("top_cpu_us_per_refresh_%s %.1f\n", label, top);
    std::printf("ratio_sample_to_top_%s %.3f\n", label, top > 0 ? ours / top : -1.0);
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
