#pragma once

#include "core/Models.h"
#include "platform/HostCpuSource.h"
#include "platform/ProcessTable.h"

#include <QByteArray>
#include <QStringList>
#include <chrono>
#include <optional>
#include <vector>

class MemorySource;
class ThermalStateSource;
class VolumeSource;

// The readers one sample needs.
struct SamplerPlatform {
    HostCpuSource& cpu;
    MemorySource& memory;
    VolumeSource& volume;
    ThermalStateSource& thermal;
    ProcessTable& processes;
    // "/" when the volume above is another file system's (the user's home); watched too.
    VolumeSource* rootVolume = nullptr;
};

// What the main thread hands to a sample: copies of the settings and readings it needs, so
// the sampler never reads main-thread state.
struct SampleInputs {
    QDateTime now;
    double cpuThreshold = 80.0;
    QStringList protectedLowerCased;  // the user's list
    std::optional<double> cpuTempC;
    std::optional<double> throttleTripC;
    // Exact process names to report wherever they rank.
    QList<QByteArray> watchedNames;
};

struct Sample {
    PerformanceSnapshot snapshot;
    HealthScore health;
    double cpu = 0;
    double memoryPressure = 0;
    // The processes named in the inputs' watched names.
    QList<ProcessInfoItem> watched;
};

// Takes samples, keeping the previous readings that CPU shares are measured against. Lives on
// one thread at a time (the sampler queue); nothing here is shared.
class SampleCollector {
public:
    // How long the first sample waits between its two CPU readings.
    static constexpr std::chrono::milliseconds firstSampleBaseline{100};
    static constexpr int topProcessCount = 30;

    explicit SampleCollector(SamplerPlatform platform);

    Sample takeSample(const SampleInputs& inputs);

    double readCPUUsage();
    // (used, total) in GiB.
    std::pair<double, double> readMemoryUsage();
    // (used, total) in bytes.
    std::pair<uint64_t, uint64_t> readDiskUsage();
    // (used, total) of "/" when it is another file system; (0, 0) otherwise.
    std::pair<uint64_t, uint64_t> readRootDiskUsage();
    ThermalLevel readThermalState();
    // `watched`, when given, receives the processes with a watched name.
    QList<ProcessInfoItem> readTopProcesses(const SampleInputs& inputs, QList<ProcessInfoItem>* watched = nullptr);

    // Forgets the previous readings: the next sample starts from no baseline.
    void reset();

private:
    struct PreviousTime {
        int32_t pid;
        uint64_t startTime;
        uint64_t cpuTimeNs;
        uint64_t readAtNs;
        double percent;  // the share worked out at that reading
    };
    ProcessInfoItem itemFor(const ProcessEntry& e, double percent, const SampleInputs& inputs);
    bool isWatched(const ProcessEntry& e, const SampleInputs& inputs);

    struct Ranked {
        double percent;
        size_t index;
    };

    SamplerPlatform m_platform;
    std::optional<CpuTicks> m_previousCPUInfo;
    // Sorted by pid (the kernel lists processes in pid order, so this is kept sorted cheaply).
    std::vector<PreviousTime> m_previousProcessCPUTimes;
    std::vector<PreviousTime> m_nextProcessCPUTimes;
    std::optional<std::chrono::steady_clock::time_point> m_previousProcessSampleTime;
    std::vector<ProcessEntry> m_entries;
    std::vector<Ranked> m_ranked;
};
