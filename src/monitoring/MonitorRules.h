#pragma once

#include "core/Models.h"
#include "platform/HostCpuSource.h"

#include <QStringList>

// The sampling engine's arithmetic and decisions, free of state so they can be checked case
// by case.
namespace MonitorRules {

// Score of a sample: CPU 30 %, memory 30 %, disk 20 %, thermal 20 %.
HealthScore computeHealth(const PerformanceSnapshot& snapshot, const QDateTime& now);

// 0 nominal, 1 fair, 2 serious, 3 critical; anything else nominal.
ThermalLevel thermalLevelFromState(int state);
// A measured CPU temperature overrides the platform's level.
ThermalLevel thermalLevelForTemperature(double celsius);

// Busy share of all CPU time between two readings, in percent. A counter that went down
// (wrapped, or reset) counts 0 for this reading.
double hostCpuPercent(const CpuTicks& previous, const CpuTicks& current);

// Share of one core between two readings of a process's CPU time, in percent (may exceed 100).
double processCpuPercent(uint64_t previousNs, uint64_t currentNs, double elapsedSeconds);

// Lower-case name fragments that always protect a process.
const QStringList& builtinProtectedProcesses();
// Plain substring tests on the lower-cased name: the user's list (already lower-cased) first.
bool isProtectedName(const QString& name, const QStringList& userListLowerCased);

// pid 1 and kernel threads: never throttled, stopped or counted as runaway.
bool isUntouchable(const ProcessInfoItem& process);

// Free space of the sample's volume in GiB (0 when the figures are inconsistent).
double freeGB(const PerformanceSnapshot& snapshot);

// Free space of "/" in GiB when the sample watched it as a file system of its own.
std::optional<double> rootFreeGB(const PerformanceSnapshot& snapshot);

// "PID 4242 at 97.3% for 31s — <reason>"
QString throttleDetail(int32_t pid, double cpuPercent, double elapsedSeconds, const QString& reason);

// Why the automatic choice switched to `mode` (a profile's display name).
QString autoSwitchReason(const QString& mode, int batteryLevel, bool charging);

}  // namespace MonitorRules
