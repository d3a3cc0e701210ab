#include "monitoring/SampleCollector.h"

#include <thread>

#include "monitoring/MonitorRules.h"
#include "platform/MemorySource.h"
#include "platform/ThermalStateSource.h"
#include "platform/VolumeSource.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr double gib = 1073741824.0;
constexpr double mib = 1048576.0;
}  // namespace

SampleCollector::SampleCollector(SamplerPlatform platform) : m_platform(platform) {}

void SampleCollector::reset()
{
    m_previousCPUInfo.reset();
    m_previousProcessCPUTimes.clear();
    m_previousProcessSampleTime.reset();
}

Sample SampleCollector::takeSample(const SampleInputs& inputs)
{
    Sample s;
    s.cpu = readCPUUsage();
    // Pressure is the used share of the same reading: one pass over /proc/meminfo per sample.
    const auto [used, total] = readMemoryUsage();
    s.memoryPressure = total > 0 ? used / total * 100.0 : 0;
    const auto [diskUsed, diskTotal] = readDiskUsage();
    const auto [rootUsed, rootTotal] = readRootDiskUsage();
    ThermalLevel thermal = readThermalState();
    const QList<ProcessInfoItem> processes = readTopProcesses(inputs, &s.watched);
    if (inputs.cpuTempC) thermal = MonitorRules::thermalLevelForTemperature(*inputs.cpuTempC);

    PerformanceSnapshot& snap = s.snapshot;
    snap.timestamp = inputs.now;
    snap.cpuUsage = s.cpu;
    snap.memoryUsed = used;
    snap.memoryTotal = total;
    snap.memoryPressure = s.memoryPressure;
    snap.diskUsed = diskUsed;
    snap.diskTotal = diskTotal;
    snap.rootDiskUsed = rootUsed;
    snap.rootDiskTotal = rootTotal;
    snap.thermalState = thermal;
    snap.cpuTempC = inputs.cpuTempC;
    snap.throttleTripC = inputs.throttleTripC;
    snap.topProcesses = processes;
    s.health = MonitorRules::computeHealth(snap, inputs.now);
    return s;
}

double SampleCollector::readCPUUsage()
{
    auto ticks = m_platform.cpu.readTicks();
    if (!ticks) return 0;
    if (!m_previousCPUInfo) {
        // A share needs two readings. Rather than a first sample of 0 % (which the charts and
        // the score would take for an idle machine), measure over a short wait on this worker.
        m_previousCPUInfo = ticks;
        std::this_thread::sleep_for(firstSampleBaseline);
        ticks = m_platform.cpu.readTicks();
        if (!ticks) return 0;
    }
    const double percent = MonitorRules::hostCpuPercent(*m_previousCPUInfo, *ticks);
    m_previousCPUInfo = ticks;
    return percent;
}

std::pair<double, double> SampleCollector::readMemoryUsage()
{
    const auto stats = m_platform.memory.readMemory();
    if (!stats) return {0, 0};
    return {double(stats->totalBytes - stats->availableBytes) / gib, double(stats->totalBytes) / gib};
}

std::pair<uint64_t, uint64_t> SampleCollector::readDiskUsage()
{
    const auto space = m_platform.volume.readVolume();
    if (!space) return {0, 0};
    return {space->totalBytes - space->availableBytes, space->totalBytes};
}

std::pair<uint64_t, uint64_t> SampleCollector::readRootDiskUsage()
{
    if (!m_platform.rootVolume) return {0, 0};
    const auto home = m_platform.volume.readVolume();
    const auto root = m_platform.rootVolume->readVolume();
    if (!home || !root || root->device == home->device) return {0, 0};
    return {root->totalBytes - root->availableBytes, root->totalBytes};
}

ThermalLevel SampleCollector::readThermalState()
{
    return MonitorRules::thermalLevelFromState(m_platform.thermal.thermalState());
}

bool SampleCollector::isWatched(const ProcessEntry& e, const SampleInputs& inputs)
{
    const size_t length = e.commLength;
    for (const QByteArray& name : inputs.watchedNames) {
        if (size_t(name.size()) < length || std::memcmp(name.constData(), e.comm, length) != 0) continue;
        if (size_t(name.size()) == length) return true;
        // A name longer than the kernel keeps: compare the whole program name.
        if (length >= 15 && m_platform.processes.displayName(e).toUtf8() == name) return true;
    }
    return false;
}

ProcessInfoItem SampleCollector::itemFor(const ProcessEntry& e, double percent, const SampleInputs& inputs)
{
    ProcessInfoItem item;
    item.pid = e.pid;
    item.name = m_platform.processes.displayName(e);
    item.cpuUsage = percent;
    item.memoryMB = double(e.residentBytes) / mib;
    item.startTime = e.startTime;
    item.nice = e.nice;
    item.isKernelThread = e.isKernelThread;
    // The init process and kernel threads are listed but never acted on.
    const bool untouchable = MonitorRules::isUntouchable(item);
    item.isProtected = untouchable || MonitorRules::isProtectedName(item.name, inputs.protectedLowerCased);
    item.isRunaway = !untouchable && inputs.cpuThreshold < item.cpuUsage;
    return item;
}

QList<ProcessInfoItem> SampleCollector::readTopProcesses(const SampleInputs& inputs, QList<ProcessInfoItem>* watched)
{
    if (!m_platform.processes.readProcesses(m_entries) || m_entries.empty()) return {};

    const auto now = std::chrono::steady_clock::now();
    std::optional<double> elapsed;
    if (m_previousProcessSampleTime) elapsed = std::chrono::duration<double>(now - *m_previousProcessSampleTime).count();

    m_nextProcessCPUTimes.clear();
    m_ranked.clear();
    bool sorted = true;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const ProcessEntry& e = m_entries[i];
        if (!m_nextProcessCPUTimes.empty() && m_nextProcessCPUTimes.back().pid >= e.pid) sorted = false;

        double percent = 0;
        if (elapsed && *elapsed > 0) {
            const auto old = std::lower_bound(m_previousProcessCPUTimes.begin(), m_previousProcessCPUTimes.end(), e.pid,
                                              [](const PreviousTime& p, int32_t pid) { return p.pid < pid; });
            // A pid given to a new process since the last reading has no baseline yet.
            if (old != m_previousProcessCPUTimes.end() && old->pid == e.pid && old->startTime == e.startTime) {
                if (e.readAtNs == 0 || old->readAtNs == 0) {
                    percent = MonitorRules::processCpuPercent(old->cpuTimeNs, e.cpuTimeNs, *elapsed);
                } else if (e.readAtNs == old->readAtNs) {
                    // Not read again this time (the table reads some processes less often): the
                    // share of its last reading stands.
                    percent = old->percent;
                } else if (e.readAtNs > old->readAtNs) {
                    // Over the time between its own two readings.
                    percent = MonitorRules::processCpuPercent(old->cpuTimeNs, e.cpuTimeNs,
                                                              double(e.readAtNs - old->readAtNs) / 1e9);
                }
            }
        }
        m_nextProcessCPUTimes.push_back({e.pid, e.startTime, e.cpuTimeNs, e.readAtNs, percent});
        m_ranked.push_back({percent, i});
        // The same walk serves the watched names: nobody reads the table again for them.
        if (watched && !inputs.watchedNames.isEmpty() && !e.isKernelThread && isWatched(e, inputs))
            watched->append(itemFor(e, percent, inputs));
    }
    if (!sorted) {
        std::sort(m_nextProcessCPUTimes.begin(), m_nextProcessCPUTimes.end(),
                  [](const PreviousTime& a, const PreviousTime& b) { return a.pid < b.pid; });
    }
    std::swap(m_previousProcessCPUTimes, m_nextProcessCPUTimes);
    m_previousProcessSampleTime = now;

    // Only the busiest are published, so names, protection and the rest are worked out for
    // those alone.
    const size_t keep = std::min<size_t>(topProcessCount, m_ranked.size());
    std::partial_sort(m_ranked.begin(), m_ranked.begin() + ptrdiff_t(keep), m_ranked.end(),
                      [](const Ranked& a, const Ranked& b) {
                          if (a.percent != b.percent) return a.percent > b.percent;
                          return a.index < b.index;
                      });

    QList<ProcessInfoItem> out;
    out.reserve(qsizetype(keep));
    for (size_t k = 0; k < keep; ++k) {
        out.append(itemFor(m_entries[m_ranked[k].index], m_ranked[k].percent, inputs));
    }
    return out;
}
