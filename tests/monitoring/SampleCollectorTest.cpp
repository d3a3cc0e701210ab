#include "MonitorFakes.h"
#include "monitoring/MonitorRules.h"
#include "monitoring/SampleCollector.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

namespace {

const QString procFixtures = QStringLiteral(VELTRANMOOR_FIXTURES "/proc");

bool copyTree(const QString& from, const QString& to)
{
    return QProcess::execute(QStringLiteral("/bin/cp"), {QStringLiteral("-a"), from + QStringLiteral("/."), to}) == 0;
}

SampleInputs inputs(QStringList protectedNames = {})
{
    SampleInputs in;
    in.now = QDateTime::currentDateTimeUtc();
    in.cpuThreshold = 80.0;
    in.protectedLowerCased = protectedNames;
    return in;
}

const ProcessInfoItem* find(const QList<ProcessInfoItem>& list, int32_t pid)
{
    for (const ProcessInfoItem& p : list) {
        if (p.pid == pid) return &p;
    }
    return nullptr;
}

}  // namespace

TEST(SampleCollector, SharesNeedABaselineAndSurviveCountersThatWentDown)
{
    QTemporaryDir dir;
    ASSERT_TRUE(copyTree(procFixtures + QStringLiteral("/counter-down/before"), dir.path()));
    FixtureReaders readers(dir.path());
    SampleCollector collector(readers.platform());

    const Sample first = collector.takeSample(inputs());
    EXPECT_EQ(first.cpu, 0);
    ASSERT_EQ(first.snapshot.topProcesses.size(), 3);
    for (const ProcessInfoItem& p : first.snapshot.topProcesses) {
        EXPECT_EQ(p.cpuUsage, 0) << p.pid;
        EXPECT_FALSE(p.isRunaway);
    }

    QThread::msleep(20);
    ASSERT_TRUE(copyTree(procFixtures + QStringLiteral("/counter-down/after"), dir.path()));
    const Sample second = collector.takeSample(inputs({QStringLiteral("nothing-matches")}));
    // user +100, system +100, idle +300, nice went down (counts 0): 200 of 500 ticks busy.
    EXPECT_DOUBLE_EQ(second.cpu, 40.0);
    const auto& list = second.snapshot.topProcesses;
    ASSERT_TRUE(find(list, 4242) && find(list, 4243) && find(list, 4244));
    EXPECT_EQ(find(list, 4242)->cpuUsage, 0) << "its CPU time went down";
    EXPECT_EQ(find(list, 4243)->cpuUsage, 0) << "its pid now belongs to a process started later";
    // The start time travels with the item, so an action on it reaches only that process.
    EXPECT_EQ(find(first.snapshot.topProcesses, 4243)->startTime, 2000u);
    EXPECT_EQ(find(list, 4243)->startTime, 2500u);
    EXPECT_FALSE(*find(first.snapshot.topProcesses, 4243) == *find(list, 4243)) << "not the same process";
    EXPECT_GT(find(list, 4244)->cpuUsage, 80.0) << "1000 ticks (10 s of CPU) in well under 10 s, however loaded the machine";
    EXPECT_TRUE(find(list, 4244)->isRunaway);
    EXPECT_EQ(list.first().pid, 4244) << "busiest first";
    EXPECT_FALSE(find(list, 4244)->isProtected);

    // The user's list protects by substring, case aside.
    QThread::msleep(5);
    EXPECT_TRUE(find(collector.takeSample(inputs({QStringLiteral("work")})).snapshot.topProcesses, 4244)->isProtected);

    // Forgetting the baseline starts over.
    collector.reset();
    const Sample afterReset = collector.takeSample(inputs());
    EXPECT_EQ(afterReset.cpu, 0);
    EXPECT_EQ(find(afterReset.snapshot.topProcesses, 4244)->cpuUsage, 0);
}

namespace {

// Hands out the readings a test scripts, each with the time it was taken.
struct ScriptedTable final : ProcessTable {
    std::vector<ProcessEntry> next;
    bool readProcesses(std::vector<ProcessEntry>& out) override
    {
        out = next;
        return true;
    }
    QString displayName(const ProcessEntry& e) override { return QString::fromUtf8(e.comm, e.commLength); }
};

ProcessEntry reading(int32_t pid, double cpuSeconds, double readAtSeconds)
{
    ProcessEntry e;
    e.pid = pid;
    e.startTime = 7;
    e.cpuTimeNs = uint64_t(cpuSeconds * 1e9);
    e.readAtNs = uint64_t(readAtSeconds * 1e9);
    e.commLength = 1;
    e.comm[0] = 'p';
    return e;
}

}  // namespace

TEST(SampleCollector, AProcessReadLessOftenKeepsItsShareAndIsMeasuredOverItsOwnInterval)
{
    FixtureReaders readers(procFixtures + QStringLiteral("/basic"));
    ScriptedTable table;
    SampleCollector collector(
        SamplerPlatform{readers.cpu, readers.memory, readers.volumeSource, readers.thermal, table});
    auto share = [&](int32_t pid) {
        QThread::msleep(2);
        const Sample sample = collector.takeSample(inputs());
        const ProcessInfoItem* p = find(sample.snapshot.topProcesses, pid);
        return p ? p->cpuUsage : -1.0;
    };
    // 10 is read every time; 11 (read less often) is read at 1 s, 2 s and 4.9 s.
    table.next = {reading(10, 0, 1), reading(11, 0, 1)};
    share(10);
    table.next = {reading(10, 0.5, 2), reading(11, 0.25, 2)};
    EXPECT_NEAR(share(11), 25, 1e-9);
    table.next = {reading(10, 1.0, 3), reading(11, 0.25, 2)};
    EXPECT_NEAR(share(10), 50, 1e-9);
    EXPECT_NEAR(share(11), 25, 1e-9) << "not read again: its last share stands, not 0";
    table.next = {reading(10, 1.5, 4), reading(11, 1.15, 4.9)};
    EXPECT_NEAR(share(11), (1.15 - 0.25) / 2.9 * 100, 1e-9) << "over the 2.9 s between its readings, not one sample's";
}

TEST(SampleCollector, PublishesTheThirtyBusiest)
{
    QTemporaryDir dir;
    QFile templ(procFixtures + QStringLiteral("/counter-down/before/4244/stat"));
    ASSERT_TRUE(templ.open(QIODevice::ReadOnly));
    QList<QByteArray> fields = templ.readAll().trimmed().split(' ');
    auto writeProcess = [&](int pid, int ticks) {
        QDir().mkpath(dir.path() + QStringLiteral("/%1").arg(pid));
        fields[0] = QByteArray::number(pid);
        fields[1] = "(p" + QByteArray::number(pid) + ")";
        fields[13] = QByteArray::number(ticks);
        QFile f(dir.path() + QStringLiteral("/%1/stat").arg(pid));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(fields.join(' ') + '\n');
    };
    for (int i = 0; i < 35; ++i) writeProcess(100 + i, 0);
    FixtureReaders readers(dir.path());
    SampleCollector collector(readers.platform());
    EXPECT_EQ(collector.takeSample(inputs()).snapshot.topProcesses.size(), 30);

    // Process 100 + i used i ticks since.
    for (int i = 0; i < 35; ++i) writeProcess(100 + i, i);
    QThread::msleep(10);
    const auto list = collector.takeSample(inputs()).snapshot.topProcesses;
    ASSERT_EQ(list.size(), 30);
    for (int k = 0; k < 30; ++k) EXPECT_EQ(list[k].pid, 134 - k);
    EXPECT_EQ(list.first().name, QStringLiteral("p134"));
}

TEST(SampleCollector, TemperatureOverridesThePlatformsThermalState)
{
    FixtureReaders readers(procFixtures + QStringLiteral("/basic"),
                           QStringLiteral(VELTRANMOOR_FIXTURES "/sys/thermal/worst-zone-wins"));
    SampleCollector collector(readers.platform());
    const std::pair<std::optional<double>, ThermalLevel> cases[] = {
        {std::nullopt, ThermalLevel::critical},  // the zones decide
        {59.9, ThermalLevel::nominal}, {60.0, ThermalLevel::fair}, {74.9, ThermalLevel::fair},
        {75.0, ThermalLevel::serious}, {90.0, ThermalLevel::critical}};
    for (const auto& [temp, level] : cases) {
        SampleInputs in = inputs();
        in.cpuTempC = temp;
        const Sample s = collector.takeSample(in);
        EXPECT_EQ(s.snapshot.thermalState, level) << temp.value_or(-1);
        EXPECT_EQ(s.snapshot.cpuTempC, temp);
    }
}

TEST(SampleCollector, MemoryDiskAndHealthOfOneSample)
{
    QTemporaryDir volume;
    FixtureReaders readers(procFixtures + QStringLiteral("/basic"), QStringLiteral("/nonexistent"), volume.path());
    SampleCollector collector(readers.platform());
    const Sample s = collector.takeSample(inputs());
    const double gib = 1073741824.0;
    EXPECT_DOUBLE_EQ(s.snapshot.memoryTotal, 24682260.0 * 1024 / gib);
    EXPECT_DOUBLE_EQ(s.snapshot.memoryUsed, (24682260.0 - 22954668.0) * 1024 / gib);
    EXPECT_DOUBLE_EQ(s.memoryPressure, (24682260.0 - 22954668.0) / 24682260.0 * 100);
    EXPECT_DOUBLE_EQ(s.snapshot.memoryPressure, s.memoryPressure);
    EXPECT_GT(s.snapshot.diskTotal, 0u);
    EXPECT_LE(s.snapshot.diskUsed, s.snapshot.diskTotal);
    EXPECT_EQ(s.snapshot.thermalState, ThermalLevel::nominal);
    EXPECT_EQ(s.health.score, MonitorRules::computeHealth(s.snapshot, s.snapshot.timestamp).score);

    // Nothing readable at all: zeros, and no crash.
    FixtureReaders nothing(QStringLiteral("/nonexistent"), QStringLiteral("/nonexistent"), QStringLiteral("/nonexistent"));
    SampleCollector empty(nothing.platform());
    const Sample z = empty.takeSample(inputs());
    EXPECT_EQ(z.snapshot.memoryTotal, 0);
    EXPECT_EQ(z.snapshot.diskTotal, 0u);
    EXPECT_TRUE(z.snapshot.topProcesses.isEmpty());
}

namespace {
struct FixedVolume final : VolumeSource {
    std::optional<VolumeSpace> space;
    std::optional<VolumeSpace> readVolume() override { return space; }
};
}  // namespace

TEST(SampleCollector, WatchesTheHomeFileSystemAndRootWhenItIsAnother)
{
    FixtureReaders readers(procFixtures + QStringLiteral("/basic"));
    FixedVolume home, root;
    home.space = VolumeSpace{1000, 400, 7};
    SamplerPlatform platform{readers.cpu, readers.memory, home, readers.thermal, readers.processes, &root};
    SampleCollector collector(platform);

    const struct {
        const char* what;
        std::optional<VolumeSpace> root;
        uint64_t rootUsed, rootTotal;
    } rows[] = {
        {"another file system", VolumeSpace{500, 20, 9}, 480, 500},
        {"the same file system", VolumeSpace{1000, 400, 7}, 0, 0},
        {"unreadable", std::nullopt, 0, 0},
    };
    for (const auto& r : rows) {
        root.space = r.root;
        const PerformanceSnapshot s = collector.takeSample(inputs()).snapshot;
        EXPECT_EQ(s.diskUsed, 600u) << r.what;
        EXPECT_EQ(s.diskTotal, 1000u) << r.what;
        EXPECT_EQ(s.rootDiskUsed, r.rootUsed) << r.what;
        EXPECT_EQ(s.rootDiskTotal, r.rootTotal) << r.what;
    }

    // Two real roots: the proc file system is never the one "/" lives on.
    EXPECT_NE(StatvfsVolumeSource(QStringLiteral("/")).readVolume()->device,
              StatvfsVolumeSource(QStringLiteral("/proc")).readVolume()->device);
    EXPECT_EQ(StatvfsVolumeSource(QStringLiteral("/")).readVolume()->device,
              StatvfsVolumeSource(QStringLiteral("/")).readVolume()->device);
}

namespace {
// Host counters that advance by 60 busy and 40 idle ticks between two readings.
struct SteppingCpu final : HostCpuSource {
    CpuTicks ticks{1000, 1000, 1000, 0};
    int reads = 0;
    std::optional<CpuTicks> readTicks() override
    {
        ++reads;
        const CpuTicks now = ticks;
        ticks.user += 60;
        ticks.idle += 40;
        return now;
    }
};
}  // namespace

TEST(SampleCollector, TheFirstSampleMeasuresItsOwnBaselineInsteadOfShowingZero)
{
    FixtureReaders readers(procFixtures + QStringLiteral("/basic"));
    SteppingCpu cpu;
    SampleCollector collector(SamplerPlatform{cpu, readers.memory, readers.volumeSource, readers.thermal, readers.processes});
    QElapsedTimer waited;
    waited.start();
    const Sample first = collector.takeSample(inputs());
    EXPECT_GE(waited.elapsed(), SampleCollector::firstSampleBaseline.count()) << "two readings a short wait apart";
    EXPECT_EQ(cpu.reads, 2);
    EXPECT_DOUBLE_EQ(first.cpu, 60.0);
    EXPECT_DOUBLE_EQ(first.snapshot.cpuUsage, 60.0);
    // The score is the loaded machine's, not an idle one's.
    PerformanceSnapshot idle = first.snapshot;
    idle.cpuUsage = 0;
    EXPECT_LT(first.health.cpuScore, MonitorRules::computeHealth(idle, idle.timestamp).cpuScore);

    // Later samples measure against the previous one, with a single reading.
    const Sample second = collector.takeSample(inputs());
    EXPECT_EQ(cpu.reads, 3);
    EXPECT_DOUBLE_EQ(second.cpu, 60.0);
}

TEST(SampleCollector, WatchedNamesAreReportedFromTheSameWalkWhereverTheyRank)
{
    QTemporaryDir dir;
    QFile templ(procFixtures + QStringLiteral("/counter-down/before/4244/stat"));
    ASSERT_TRUE(templ.open(QIODevice::ReadOnly));
    QList<QByteArray> fields = templ.readAll().trimmed().split(' ');
    auto writeProcess = [&](int pid, const QByteArray& comm, int ticks, const QByteArray& argv0 = {}) {
        QDir().mkpath(dir.path() + QStringLiteral("/%1").arg(pid));
        fields[0] = QByteArray::number(pid);
        fields[1] = "(" + comm + ")";
        fields[13] = QByteArray::number(ticks);
        QFile f(dir.path() + QStringLiteral("/%1/stat").arg(pid));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(fields.join(' ') + '\n');
        QFile cmd(dir.path() + QStringLiteral("/%1/cmdline").arg(pid));
        ASSERT_TRUE(cmd.open(QIODevice::WriteOnly | QIODevice::Truncate));
        cmd.write((argv0.isEmpty() ? comm : argv0) + '\0');
    };
    // Thirty-five busier processes push the idle clients out of the published thirty.
    auto writeAll = [&](int busyTicks) {
        for (int i = 0; i < 35; ++i) writeProcess(100 + i, "p" + QByteArray::number(100 + i), busyTicks);
        writeProcess(200, "syncthing", 0);
        writeProcess(201, "syncthingtray", 0);  // a longer name is another program
        writeProcess(202, "averylongsyncer", 0, "/opt/x/averylongsyncerclient");  // cut by the kernel
        writeProcess(203, "averylongsyncer", 0, "/opt/x/averylongsyncerother");
    };
    writeAll(0);
    FixtureReaders readers(dir.path());
    SampleCollector collector(readers.platform());
    SampleInputs in = inputs();
    in.watchedNames = {"syncthing", "averylongsyncerclient"};
    EXPECT_EQ(collector.takeSample(in).watched.size(), 2);

    writeAll(50);
    QThread::msleep(10);
    const Sample s = collector.takeSample(in);
    EXPECT_EQ(find(s.snapshot.topProcesses, 200), nullptr) << "not among the busiest";
    ASSERT_EQ(s.watched.size(), 2);
    const ProcessInfoItem* client = find(s.watched, 200);
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(client->name, QStringLiteral("syncthing"));
    EXPECT_EQ(client->startTime, 3000u);
    EXPECT_EQ(client->cpuUsage, 0);
    EXPECT_DOUBLE_EQ(client->memoryMB, 406.0 * 4096 / 1048576.0);
    ASSERT_NE(find(s.watched, 202), nullptr);
    EXPECT_EQ(find(s.watched, 202)->name, QStringLiteral("averylongsyncerclient"));

    // Without watched names nothing is reported.
    EXPECT_TRUE(collector.takeSample(inputs()).watched.isEmpty());
}
