#include "monitoring/GPUMonitor.h"

#include "core/AppSettings.h"
#include "core/Clock.h"
#include "monitoring/HIDThermalReader.h"
#include "monitoring/IncidentLedger.h"
#include "monitoring/MonitorState.h"
#include "monitoring/SMCReader.h"
#include "platform/HwmonReader.h"
#include "platform/ProcessControl.h"
#include "platform/ThermalZoneReader.h"

#include <QPointer>
#include <cmath>

GPUMonitor::GPUMonitor(Collaborators c, QObject* parent) : QObject(parent), m_c(c) {}

const QStringList& GPUMonitor::gpuHeavyNonCriticalFragments()
{
    static const QStringList fragments = {
        QStringLiteral("google chrome helper"), QStringLiteral("safari web content"), QStringLiteral("firefox content"),
        QStringLiteral("msedge"), QStringLiteral("electron helper"), QStringLiteral("renderer"), QStringLiteral("blender"),
        QStringLiteral("obs"),
        // Linux process names of the same programs.
        QStringLiteral("chrome"), QStringLiteral("chromium"), QStringLiteral("isolated web co"), QStringLiteral("web content"), QStringLiteral("firefox"), QStringLiteral("electron")};
    return fragments;
}

const QStringList& GPUMonitor::acceleratorChips()
{
    static const QStringList chips = {QStringLiteral("amdgpu"), QStringLiteral("radeon"), QStringLiteral("nouveau"),
                                      QStringLiteral("i915"), QStringLiteral("xe")};
    return chips;
}

const QStringList& GPUMonitor::dieKeys()
{
    static const QStringList keys = {QStringLiteral("Tp01"), QStringLiteral("Tp03"), QStringLiteral("Tp05"),
                                     QStringLiteral("Tp07"), QStringLiteral("Tp09"), QStringLiteral("Tp0b"),
                                     QStringLiteral("Tp0d"), QStringLiteral("Tp0f")};
    return keys;
}

const QStringList& GPUMonitor::pmpKeys()
{
    static const QStringList keys = {QStringLiteral("PMP1"), QStringLiteral("PMP2")};
    return keys;
}

const QStringList& GPUMonitor::intelKeys()
{
    static const QStringList keys = {QStringLiteral("TC0P"), QStringLiteral("TC0F"), QStringLiteral("TC0D"),
                                     QStringLiteral("TC0E")};
    return keys;
}

std::optional<double> GPUMonitor::fallbackTemperature(ThermalLevel level)
{
    switch (level) {
    case ThermalLevel::nominal: return std::nullopt;
    case ThermalLevel::fair: return 70.0;
    // Below 90, which the sampler would read as critical.
    case ThermalLevel::serious: return 89.0;
    case ThermalLevel::critical: return 100.0;
    }
    return std::nullopt;
}

void GPUMonitor::start()
{
    if (m_pollTimer) return;
    refresh();
    m_pollTimer = m_c.scheduler.every(kPollInterval, this, [this] { refresh(); });
    m_thermalObserver = m_c.scheduler.every(kThermalWatchInterval, this, [this] {
        if (thermalLevelOf(m_c.zones.readZones()) != m_thermalLevel) readThermalState();
    });
}

void GPUMonitor::refresh()
{
    readThermalState();
    readGPUTemperature();
    readCPUTemperature();
    evaluateAutoThrottle();
}

void GPUMonitor::readThermalState()
{
    const QList<ThermalZone> zones = m_c.zones.readZones();
    const std::optional<double> trip = throttleTripOf(zones);
    const bool tripChanged = trip != m_throttleTripC;
    m_throttleTripC = trip;
    const ThermalLevel level = thermalLevelOf(zones);
    if (tripChanged && level == m_thermalLevel) Q_EMIT changed();
    if (level == m_thermalLevel) return;
    m_thermalLevel = level;
    Q_EMIT changed();
}

std::optional<double> GPUMonitor::readAcceleratorStatistics(const QString& chipName) const
{
    for (const TemperatureInput& input : m_c.hwmon.temperatureInputs({chipName})) {
        // The first input of a GPU chip is its edge (or only) sensor.
        if (input.index != 1) continue;
        const auto value = m_c.hwmon.readCelsius(input.path);
        if (value && std::isfinite(*value)) return value;
    }
    return std::nullopt;
}

void GPUMonitor::readGPUTemperature()
{
    std::optional<double> found;
    for (const QString& chip : acceleratorChips()) {
        found = readAcceleratorStatistics(chip);
        if (found) break;
    }
    const bool available = m_gpuAvailable || found.has_value();
    if (found == m_gpuTempC && available == m_gpuAvailable) return;
    m_gpuTempC = found;
    m_gpuAvailable = available;
    Q_EMIT changed();
}

void GPUMonitor::readCPUTemperature()
{
    std::optional<double> result = m_c.hid.readDieTemperature();
    if (!result) {
        for (const QStringList* group : {&dieKeys(), &pmpKeys(), &intelKeys()}) {
            for (const QString& key : *group) {
                const auto value = m_c.smc.readKey(key);
                if (value && *value > 0 && *value < 130 && (!result || *value > *result)) result = value;
            }
            if (result) break;
        }
    }
    if (!result) result = fallbackTemperature(m_thermalLevel);
    if (result == m_cpuTempC) return;
    m_cpuTempC = result;
    Q_EMIT changed();
}

void GPUMonitor::evaluateAutoThrottle()
{
    if (!m_c.settings.gpuThermalAutoThrottleEnabled()) return;
    const bool hot = m_gpuTempC.value_or(0) > m_c.settings.gpuThermalThresholdC() ||
                     m_thermalLevel == ThermalLevel::serious || m_thermalLevel == ThermalLevel::critical;
    if (!hot) return;
    const QDateTime now = m_c.clock.now();
    if (m_lastAutoThrottleAt && m_lastAutoThrottleAt->secsTo(now) < kThrottleCooldownSeconds) return;

    QList<ProcessInfoItem> candidates;
    for (const ProcessInfoItem& p : m_c.monitor.topProcesses()) {
        if (p.isProtected) continue;
        const QString name = p.name.toLower();
        for (const QString& fragment : gpuHeavyNonCriticalFragments()) {
            if (name.contains(fragment)) {
                candidates.push_back(p);
                break;
            }
        }
    }
    if (candidates.isEmpty()) return;

    const QString reason = m_gpuTempC
                               ? QStringLiteral("GPU thermal auto-throttle (%1°C)").arg(qint64(std::trunc(*m_gpuTempC)))
                               : QStringLiteral("GPU thermal auto-throttle (system %1)")
                                     .arg(PerformanceSnapshot::rawValue(m_thermalLevel).toLower());
    QStringList targets;
    for (const ProcessInfoItem& p : candidates) {
        const ProcessStatus lowered = m_c.processes.lowerPriority({p.pid, p.startTime}, ProcessOwner::thisUser);
        // Gone since the sample, or another user's: nothing was done, nothing is logged.
        if (lowered.leftAlone()) continue;
        if (lowered) m_c.incidents.recordIncident(p.name);
        m_c.monitor.logAction(ActionRecord::make(ActionType::processThrottled, p.name,
                                                 lowered ? reason : reason + QStringLiteral(" — failed: ") + lowered.error(),
                                                 now, true));
        targets.push_back(p.name);
    }
    if (targets.isEmpty()) return;
    m_lastAutoThrottleAt = now;
    m_lastAutoThrottleTargets = targets;
    Q_EMIT changed();
}
