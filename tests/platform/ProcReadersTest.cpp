#include "platform/linux/ProcHostCpuSource.h"
#include "platform/linux/ProcMemorySource.h"
#include "platform/linux/ProcfsProcessTable.h"
#include "platform/linux/StatvfsVolumeSource.h"
#include "platform/linux/SysfsThermalStateSource.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <map>
#include <memory>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString procFixtures = QStringLiteral(VELTRANMOOR_FIXTURES "/proc");

uint64_t ns(uint64_t ticks) { return ticks * uint64_t(1000000000 / ::sysconf(_SC_CLK_TCK)); }

bool copyTree(const QString& from, const QString& to)
{
    return QProcess::execute(QStringLiteral("/bin/cp"), {QStringLiteral("-a"), from + QStringLiteral("/."), to}) == 0;
}

}  // namespace

TEST(ProcHostCpuSource, ReadsTheAggregateLineAndRejectsDamagedOnes)
{
    ProcHostCpuSource source(procFixtures + QStringLiteral("/basic"));
    const auto ticks = source.readTicks();
    ASSERT_TRUE(ticks);
    EXPECT_EQ(ticks->user, 373125u);
    EXPECT_EQ(ticks->nice, 0u);
    EXPECT_EQ(ticks->system, 120541u + 0 + 1003 + 0);  // + irq, softirq, steal
    EXPECT_EQ(ticks->idle, 668774u + 723);              // + iowait

    struct Case {
        const char* text;
        bool ok;
    } cases[] = {
        {"cpu  10 2 30 40\n", true},  // an old kernel with four fields
        {"cpu  10 2 30\n", false},
        {"cpu0 1 2 3 4 5 6 7 8\n", false},
        {"intr 1 2 3 4\n", false},
        {"cpu  1 x 3 4\n", false},
        {"cpu  99999999999999999999999 1 1 1\n", false},
        {"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProcHostCpuSource::parse(c.text, strlen(c.text)).has_value(), c.ok) << c.text;
    }
    EXPECT_FALSE(ProcHostCpuSource(QStringLiteral("/nonexistent")).readTicks());
}

TEST(ProcMemorySource, TotalAndAvailableFromMeminfo)
{
    const auto stats = ProcMemorySource(procFixtures + QStringLiteral("/basic")).readMemory();
    ASSERT_TRUE(stats);
    EXPECT_EQ(stats->totalBytes, 24682260ull * 1024);
    EXPECT_EQ(stats->availableBytes, 22954668ull * 1024);

    const char* noAvailable = "MemTotal:  100 kB\nMemFree:  50 kB\n";
    EXPECT_FALSE(ProcMemorySource::parse(noAvailable, strlen(noAvailable)));
    const char* moreThanTotal = "MemTotal:  100 kB\nMemAvailable:  500 kB\n";
    EXPECT_EQ(ProcMemorySource::parse(moreThanTotal, strlen(moreThanTotal))->availableBytes, 100u * 1024);
    EXPECT_FALSE(ProcMemorySource(QStringLiteral("/nonexistent")).readMemory());
    // The machine's own file parses.
    EXPECT_GT(ProcMemorySource().readMemory()->totalBytes, 0u);
}

TEST(StatvfsVolumeSource, SizesOfAMountAndNothingForAMissingPath)
{
    QTemporaryDir dir;
    const auto space = StatvfsVolumeSource(dir.path()).readVolume();
    ASSERT_TRUE(space);
    EXPECT_GT(space->totalBytes, 0u);
    EXPECT_LE(space->availableBytes, space->totalBytes);
    EXPECT_FALSE(StatvfsVolumeSource(dir.path() + QStringLiteral("/missing")).readVolume());
}

TEST(ProcfsProcessTable, ReadsEveryWellFormedProcessOfAFixtureTree)
{
    ProcfsProcessTable table(procFixtures + QStringLiteral("/basic"));
    std::vector<ProcessEntry> entries;
    ASSERT_TRUE(table.readProcesses(entries));

    struct Expected {
        QString name;
        uint64_t cpuTimeNs;
        uint64_t residentBytes;
        uint64_t startTime;
        int nice = 0;
        bool kernelThread = false;
    };
    const uint64_t page = uint64_t(::sysconf(_SC_PAGESIZE));
    const std::map<int32_t, Expected> expected = {
        {1, {"systemd", ns(541 + 1035), 4262 * page, 20, -10}},
        {2, {"kthreadd", 0, 0, 20, 0, true}},
        // A kernel worker whose name is longer than the usual cut.
        {599, {"kworker/u32:3-kvfree_rcu_reclaim", ns(88), 0, 555, 0, true}},
        // Cut at 15 bytes: the program's own name from argv[0].
        {24895, {"indexer-worker-daemon", ns(2), 406 * page, 146089}},
        // Spaces and ')' inside the name.
        {24896, {"Web Content) x", ns(1), 410 * page, 146090}},
        // Cut at 15 bytes, but argv[0] is another program: the short name stays.
        {3003, {"memfd:sealed-91", ns(2), 406 * page, 146089}},
        // A long program name is kept to 32 characters.
        {3004, {"abcdefghijklmnopqrstuvwxyz012345", ns(2), 406 * page, 146089}},
        {5657, {"bash", ns(47 + 115), 952 * page, 73632}},
    };
    // 3000 vanished (no stat), 3001 has a torn stat line, self and sys are not processes.
    ASSERT_EQ(entries.size(), expected.size());
    for (const ProcessEntry& e : entries) {
        const auto it = expected.find(e.pid);
        ASSERT_NE(it, expected.end()) << e.pid;
        EXPECT_EQ(table.displayName(e), it->second.name) << e.pid;
        EXPECT_EQ(e.cpuTimeNs, it->second.cpuTimeNs) << e.pid;
        EXPECT_EQ(e.residentBytes, it->second.residentBytes) << e.pid;
        EXPECT_EQ(e.startTime, it->second.startTime) << e.pid;
        EXPECT_EQ(e.nice, it->second.nice) << e.pid;
        EXPECT_EQ(e.isKernelThread, it->second.kernelThread) << e.pid;
    }
}

TEST(ProcfsProcessTable, KernelThreadsByFlagOrAsCommandLessChildrenOfKthreadd)
{
    QTemporaryDir dir;
    auto write = [&](int pid, int ppid, unsigned flags, const QByteArray& cmdline) {
        QDir().mkpath(dir.filePath(QString::number(pid)));
        QFile stat(dir.filePath(QStringLiteral("%1/stat").arg(pid)));
        ASSERT_TRUE(stat.open(QIODevice::WriteOnly));
        stat.write(QByteArray::number(pid) + " (w) S " + QByteArray::number(ppid) + " 0 0 0 -1 " + QByteArray::number(flags) +
                   " 0 0 0 0 5 0 0 0 20 19 1 0 99 0 0\n");
        QFile cmd(dir.filePath(QStringLiteral("%1/cmdline").arg(pid)));
        ASSERT_TRUE(cmd.open(QIODevice::WriteOnly));
        cmd.write(cmdline);
    };
    write(10, 2, 0x00200000, {});               // the flag says so
    write(11, 2, 0, {});                        // an older kernel: no flag, no command line, kthreadd's child
    write(12, 2, 0, QByteArray("prog\0", 5));  // a user program that happens to be kthreadd's child
    write(13, 900, 0, {});                      // a zombie's empty command line is no kernel thread
    ProcfsProcessTable table(dir.path());
    std::vector<ProcessEntry> entries;
    ASSERT_TRUE(table.readProcesses(entries));
    std::map<int32_t, bool> kernel;
    for (const ProcessEntry& e : entries) {
        kernel[e.pid] = e.isKernelThread;
        EXPECT_EQ(e.nice, 19) << e.pid;
    }
    EXPECT_EQ(kernel, (std::map<int32_t, bool>{{10, true}, {11, true}, {12, false}, {13, false}}));
}

TEST(ProcfsProcessTable, DamagedStatLinesAreRejected)
{
    const char* good = "42 (a) S 1 1 1 0 -1 0 0 0 0 0 7 3 0 0 20 0 1 0 99 0 12";
    ProcessEntry e;
    ASSERT_TRUE(ProcfsProcessTable::parseStat(42, good, strlen(good), 1000, 4096, e));
    EXPECT_EQ(e.cpuTimeNs, 10000u);
    EXPECT_EQ(e.residentBytes, 12u * 4096);
    const char* bad[] = {
        "43 (a) S 1 1 1 0 -1 0 0 0 0 0 7 3 0 0 20 0 1 0 99 0 12",  // another pid
        "42 (a) S 1 1 1 0 -1 0 0 0 0 0 7 3",                       // cut short
        "42 () S 1 1 1 0 -1 0 0 0 0 0 7 3 0 0 20 0 1 0 99 0 12",   // no name
        "42 (a S 1 1 1 0 -1 0 0 0 0 0 7 3 0 0 20 0 1 0 99 0 12",   // no closing bracket
        "42 (a) S 1 1 1 0 -1 0 0 0 0 0 x 3 0 0 20 0 1 0 99 0 12",  // not a number
        "",
    };
    for (const char* line : bad) EXPECT_FALSE(ProcfsProcessTable::parseStat(42, line, strlen(line), 1000, 4096, e)) << line;
}

TEST(ProcfsProcessTable, LongNamesAreCachedByPidAndStartTime)
{
    QTemporaryDir dir;
    ASSERT_TRUE(copyTree(procFixtures + QStringLiteral("/basic"), dir.path()));
    ProcfsProcessTable table(dir.path());
    std::vector<ProcessEntry> entries;
    auto nameOf = [&](int32_t pid) {
        table.readProcesses(entries);
        for (const ProcessEntry& e : entries) {
            if (e.pid == pid) return table.displayName(e);
        }
        return QString();
    };
    ASSERT_EQ(nameOf(24895), QStringLiteral("indexer-worker-daemon"));

    auto write = [&](const QString& rel, const QByteArray& bytes) {
        QFile f(dir.path() + QLatin1Char('/') + rel);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    };
    // Same process: the command line is not read again.
    write(QStringLiteral("24895/cmdline"), QByteArray("/usr/bin/indexer-worker-other\0", 30));
    EXPECT_EQ(nameOf(24895), QStringLiteral("indexer-worker-daemon"));

    // The pid now belongs to a process started later: its own name is read.
    QFile stat(dir.path() + QStringLiteral("/24895/stat"));
    ASSERT_TRUE(stat.open(QIODevice::ReadOnly));
    QByteArray line = stat.readAll();
    stat.close();
    line.replace(" 146089 ", " 146999 ");
    write(QStringLiteral("24895/stat"), line);
    EXPECT_EQ(nameOf(24895), QStringLiteral("indexer-worker-other"));
}

TEST(ProcfsProcessTable, ListsTheFolderAgainOnlyWhenAPidWasHandedOut)
{
    QTemporaryDir dir;
    auto write = [&](const QString& name, const QByteArray& text) {
        QDir().mkpath(QFileInfo(dir.filePath(name)).path());
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    };
    auto process = [&](int pid) {
        write(QStringLiteral("%1/stat").arg(pid),
              QByteArray::number(pid) + " (p) S 1 0 0 0 -1 0 0 0 0 0 5 0 0 0 20 0 1 0 99 0 0\n");
    };
    auto pids = [](const std::vector<ProcessEntry>& entries) {
        std::vector<int32_t> out;
        for (const ProcessEntry& e : entries) out.push_back(e.pid);
        std::sort(out.begin(), out.end());
        return out;
    };
    write(QStringLiteral("loadavg"), "0.10 0.20 0.30 1/80 101\n");
    process(100);
    process(101);
    ProcfsProcessTable table(dir.path());
    std::vector<ProcessEntry> entries;
    ASSERT_TRUE(table.readProcesses(entries));
    EXPECT_EQ(pids(entries), (std::vector<int32_t>{100, 101}));

    // No pid handed out since: the folder is not listed again, so a directory that appeared
    // without one (which no real process can do) goes unseen.
    process(102);
    ASSERT_TRUE(table.readProcesses(entries));
    EXPECT_EQ(pids(entries), (std::vector<int32_t>{100, 101}));

    // A new last pid: listed again, and the newcomer is read.
    write(QStringLiteral("loadavg"), "0.10 0.20 0.30 1/81 102\n");
    ASSERT_TRUE(table.readProcesses(entries));
    EXPECT_EQ(pids(entries), (std::vector<int32_t>{100, 101, 102}));

    // Without a readable last pid every reading lists the folder.
    write(QStringLiteral("loadavg"), "damaged\n");
    process(103);
    ASSERT_TRUE(table.readProcesses(entries));
    EXPECT_EQ(pids(entries), (std::vector<int32_t>{100, 101, 102, 103}));
}

TEST(ProcfsProcessTable, KernelThreadsAreReadAgainOnlyAfterTheirRefreshInterval)
{
    QTemporaryDir dir;
    auto write = [&](int pid, unsigned flags, int utime) {
        QDir().mkpath(dir.filePath(QString::number(pid)));
        QFile stat(dir.filePath(QStringLiteral("%1/stat").arg(pid)));
        ASSERT_TRUE(stat.open(QIODevice::WriteOnly | QIODevice::Truncate));
        stat.write(QByteArray::number(pid) + " (w) S 2 0 0 0 -1 " + QByteArray::number(flags) + " 0 0 0 0 " +
                   QByteArray::number(utime) + " 0 0 0 20 0 1 0 99 0 0\n");
    };
    auto lastPid = [&](int pid) {
        QFile f(dir.filePath(QStringLiteral("loadavg")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("0.00 0.00 0.00 1/2 " + QByteArray::number(pid) + "\n");
    };
    lastPid(20);
    write(10, 0x00200000, 5);  // a kernel thread
    write(20, 0, 5);           // a program
    ProcfsProcessTable table(dir.path());
    std::vector<ProcessEntry> entries;
    auto entryOf = [&](int32_t pid) {
        const auto it = std::find_if(entries.begin(), entries.end(), [pid](const ProcessEntry& e) { return e.pid == pid; });
        return it == entries.end() ? ProcessEntry{} : *it;
    };
    ASSERT_TRUE(table.readProcesses(entries));
    const ProcessEntry kernelFirst = entryOf(10);
    const ProcessEntry programFirst = entryOf(20);
    ASSERT_EQ(kernelFirst.pid, 10);
    EXPECT_GT(kernelFirst.readAtNs, 0u);

    write(10, 0x00200000, 9);
    write(20, 0, 9);
    ASSERT_TRUE(table.readProcesses(entries));
    // The program is read every time; the kernel thread's last reading stands, with its time.
    EXPECT_GT(entryOf(20).cpuTimeNs, programFirst.cpuTimeNs);
    EXPECT_GT(entryOf(20).readAtNs, programFirst.readAtNs);
    EXPECT_EQ(entryOf(10).cpuTimeNs, kernelFirst.cpuTimeNs);
    EXPECT_EQ(entryOf(10).readAtNs, kernelFirst.readAtNs);

    // Pids wrapped round and 10 was handed out again, now to a program: it is read at once.
    write(10, 0, 9);
    lastPid(10);
    ASSERT_TRUE(table.readProcesses(entries));
    EXPECT_FALSE(entryOf(10).isKernelThread);
    EXPECT_GT(entryOf(10).cpuTimeNs, kernelFirst.cpuTimeNs);
}

TEST(ProcfsProcessTable, ReadsThisMachineIncludingThisProcess)
{
    ProcfsProcessTable table;
    std::vector<ProcessEntry> entries;
    ASSERT_TRUE(table.readProcesses(entries));
    const auto self = std::find_if(entries.begin(), entries.end(), [](const ProcessEntry& e) { return e.pid == ::getpid(); });
    ASSERT_NE(self, entries.end());
    EXPECT_GT(self->residentBytes, 0u);
    EXPECT_FALSE(table.displayName(*self).isEmpty());
    EXPECT_FALSE(ProcfsProcessTable(QStringLiteral("/nonexistent")).readProcesses(entries));
}

TEST(ProcfsProcessTable, HeldStatFilesFollowTheirProcessesAndCloseWhenTheyGo)
{
    auto openFds = [] { return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(); };
    const qsizetype fdsBefore = openFds();
    std::vector<ProcessEntry> entries;
    auto find = [&](pid_t pid) {
        return std::find_if(entries.begin(), entries.end(), [pid](const ProcessEntry& e) { return e.pid == pid; });
    };
    {
        ProcfsProcessTable table;
        auto child = std::make_unique<ChildProcess>(QStringList{QStringLiteral("/bin/sleep"), QStringLiteral("60")});
        ASSERT_TRUE(child->started());
        const pid_t pid = child->pid();
        ASSERT_TRUE(table.readProcesses(entries));
        ASSERT_NE(find(pid), entries.end());
        const uint64_t started = find(pid)->startTime;
        EXPECT_TRUE(table.holdsStatFileOf(pid));
        EXPECT_GT(openFds(), fdsBefore);

        // The second reading goes through the held handle: the same process, its CPU time current.
        ASSERT_TRUE(table.readProcesses(entries));
        ASSERT_NE(find(pid), entries.end());
        EXPECT_EQ(find(pid)->startTime, started);

        // Gone and reaped: no longer listed, and its handle is closed with it.
        child.reset();
        ASSERT_TRUE(table.readProcesses(entries));
        EXPECT_EQ(find(pid), entries.end());
        EXPECT_FALSE(table.holdsStatFileOf(pid));
    }
    // The table's end closes every handle it held.
    EXPECT_LE(openFds(), fdsBefore + 1);
}

// As a desktop session starts it: the soft limit at 1024 under a higher hard limit. Checked in
// a child, so this process's limit stays as it is.
TEST(ProcfsProcessTable, RaisesTheSoftOpenFileLimitToTheHardOneAndKeepsItsHandlesBelowIt)
{
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    EXPECT_GT(ProcfsProcessTable::handleBudget(), 0);
    EXPECT_LT(rlim_t(ProcfsProcessTable::handleBudget()), limit.rlim_cur);
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max <= 1024) GTEST_SKIP() << "the hard open-file limit is 1024 here";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit desktop{1024, limit.rlim_max};
        if (::setrlimit(RLIMIT_NOFILE, &desktop) != 0) ::_exit(2);
        const uint64_t raised = ProcfsProcessTable::raiseOpenFileLimit();
        rlimit now{};
        ::getrlimit(RLIMIT_NOFILE, &now);
        const bool ok = now.rlim_cur == limit.rlim_max && (raised == uint64_t(now.rlim_cur) || now.rlim_cur == RLIM_INFINITY);
        // Already at the hard limit: nothing changes.
        ::_exit(ok && ProcfsProcessTable::raiseOpenFileLimit() == raised ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(SysfsThermalStateSource, ZoneTemperaturesAgainstTripPoints)
{
    const struct {
        const char* fixture;
        int level;
    } cases[] = {
        {"none", 0},             // no zones: nominal
        {"cool", 0},             // below every trip
        {"passive", 1},          // past the passive trip (active trips do not count)
        {"worst-zone-wins", 3},  // a cool zone and one past its critical trip
        {"active-only", 0},
        {"garbled", 1},          // an unreadable zone is skipped; a trip at 0 means unset
    };
    for (const auto& c : cases) {
        SysfsThermalStateSource source(QStringLiteral(VELTRANMOOR_FIXTURES "/sys/thermal/") + QLatin1String(c.fixture));
        EXPECT_EQ(source.thermalState(), c.level) << c.fixture;
    }
    EXPECT_EQ(SysfsThermalStateSource(QStringLiteral("/nonexistent")).thermalState(), 0);
}
