// The learning engine's cost and footprint: CPU time to learn one sample of 30 processes
// (submission on the main thread, ingest on the engine's queue, its rule passes and saves
// amortised) against the sampler's own CPU time per sample measured in the same run, and the
// size of the five history files after a simulated week of 10 s samples.
#include "BenchClock.h"

#include "core/AppSettings.h"
#include "core/Clock.h"
#include "core/Executor.h"
#include "core/UserDefaults.h"
#include "monitoring/IncidentLedger.h"
#include "monitoring/MonitorState.h"
#include "monitoring/SampleCollector.h"
#include "optimisation/AIEngine.h"
#include "platform/ProcessControl.h"
#include "platform/linux/ProcHostCpuSource.h"
#include "platform/linux/ProcMemorySource.h"
#include "platform/linux/ProcfsProcessTable.h"
#include "platform/linux/StatvfsVolumeSource.h"
#include "platform/linux/SysfsThermalStateSource.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimeZone>
#include <cmath>
#include <cstdio>
#include <deque>
#include <mutex>
#include <unistd.h>

namespace {

class VirtualClock final : public Clock {
public:
    QDateTime now() const override { return m_now; }
    void advanceSeconds(int s) { m_now = m_now.addSecs(s); }

private:
    QDateTime m_now{QDate(2026, 3, 2), QTime(0, 0), QTimeZone::utc()};  // as the system clock gives it
};

class MainQueue final : public Executor {
public:
    void async(std::function<void()> work) override
    {
        std::lock_guard lock(m_mutex);
        m_work.push_back(std::move(work));
    }
    void drain()
    {
        std::deque<std::function<void()>> work;
        {
            std::lock_guard lock(m_mutex);
            work.swap(m_work);
        }
        for (auto& w : work) w();
    }

private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_work;
};

struct Quiet final : MonitorState, IncidentLedger, ProcessControl {
    PerformanceSnapshot currentSnapshot() const override { return {}; }
    HealthScore currentHealth() const override { return {}; }
    QList<ProcessInfoItem> topProcesses() const override { return {}; }
    void logAction(const ActionRecord&) override {}
    void recordIncident(const QString&) override {}
    QList<QPair<QString, int>> sortedIncidents() const override { return {}; }
    ProcessStatus lowerPriority(ProcessIdentity, ProcessOwner) override
    {
        return ProcessStatus::failed(QStringLiteral("not in the benchmark"));
    }
    OpenedProcess openProcess(ProcessIdentity, ProcessOwner) override
    {
        return OpenedProcess::refused(ProcessStatus::failed(QStringLiteral("not in the benchmark")));
    }
};

constexpr int samplesPerWeek = 7 * 24 * 360;

// 25 long-lived processes and 5 that come and go every hour (builds, helpers), as a busy
// desktop shows them.
PerformanceSnapshot sampleAt(int i)
{
    PerformanceSnapshot s;
    const double phase = double(i % 8640) / 8640.0 * 2 * M_PI;
    s.cpuUsage = 30 + 20 * std::sin(phase) + (i % 7);
    s.memoryUsed = 9 + 2 * std::sin(phase / 3);
    s.memoryTotal = 16;
    s.memoryPressure = 55 + 10 * std::sin(phase * 2);
    s.diskUsed = 300'000'000'000ULL + uint64_t(i) * 20'000;
    s.diskTotal = 1'000'000'000'000ULL;
    s.cpuTempC = 55 + 10 * std::sin(phase);
    const int hour = i / 360;
    for (int p = 0; p < 30; ++p) {
        const bool churn = p >= 25;
        ProcessInfoItem item;
        item.pid = churn ? 20000 + hour * 5 + p : 1000 + p;
        item.name = churn ? QStringLiteral("job-%1-%2").arg(hour).arg(p) : QStringLiteral("app-%1").arg(p);
        item.cpuUsage = (p * 7 + i) % 40 + 0.6;
        item.memoryMB = 40 + p * 30 + (i % 13);
        s.topProcesses.append(item);
    }
    return s;
}

double samplerCpuMicros()
{
    ProcHostCpuSource cpu;
    ProcMemorySource memory;
    StatvfsVolumeSource volume;
    SysfsThermalStateSource thermal;
    ProcfsProcessTable table;
    SampleCollector collector(SamplerPlatform{cpu, memory, volume, thermal, table});
    SampleInputs inputs;
    inputs.now = QDateTime::currentDateTimeUtc();
    collector.takeSample(inputs);
    constexpr int rounds = 40;
    double total = 0;
    for (int i = 0; i < rounds; ++i) {
        usleep(50000);
        const double before = bench::cpuSeconds();
        collector.takeSample(inputs);
        total += bench::cpuSeconds() - before;
    }
    return total / rounds * 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("settings.json")));
    VirtualClock clock;
    AppSettings settings(defaults, clock);
    Quiet quiet;
    MainQueue main;
    AIEngine engine(AIEngine::Collaborators{
        .settings = settings,
        .clock = clock,
        .monitor = quiet,
        .incidents = quiet,
        .processControl = quiet,
        .runMemoryRelief = {},
        .mainQueue = &main,
        .dataDirectory = dir.filePath(QStringLiteral("AI")),
    });

    const double samplerMicros = samplerCpuMicros();

    // Making the samples is the benchmark's own work: measured alone and taken off below.
    double making = bench::cpuSeconds();
    for (int i = 0; i < samplesPerWeek; ++i) {
        const PerformanceSnapshot s = sampleAt(i);
        if (s.topProcesses.size() != 30) return 1;
    }
    making = bench::cpuSeconds() - making;

    // The week, submitted as the sampler does; the engine's queue keeps up sample by sample.
    const double before = bench::cpuSeconds();
    for (int i = 0; i < samplesPerWeek; ++i) {
        const PerformanceSnapshot s = sampleAt(i);
        engine.submitSnapshot(s, s.topProcesses);
        clock.advanceSeconds(10);
        if (i % 360 == 0) {
            engine.waitForQueue();
            main.drain();
        }
    }
    engine.waitForQueue();
    main.drain();
    const double learnMicros = (bench::cpuSeconds() - before - making) / samplesPerWeek * 1e6;

    qint64 bytes = 0;
    for (const QFileInfo& f : QDir(dir.filePath(QStringLiteral("AI"))).entryInfoList(QDir::Files)) bytes += f.size();

    std::printf("learning_ingest_cpu: %.1f us\n", learnMicros);
    std::printf("sampler_sample_cpu: %.1f us\n", samplerMicros);
    std::printf("learning_share_of_sampler: %.2f %%\n", learnMicros / samplerMicros * 100);
    std::printf("learning_files_after_7_days: %.3f MB\n", double(bytes) / 1e6);
    std::printf("learning_baselines_after_7_days: %lld names\n", qint64(engine.processBaselineCount()));
    return 0;
}
