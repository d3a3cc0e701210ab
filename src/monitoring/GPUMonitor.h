#pragma once

#include "core/Lifecycle.h"
#include "core/Models.h"
#include "core/Scheduler.h"
#include "monitoring/TemperatureSource.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <optional>

class AppSettings;
class Clock;
class HIDThermalReader;
class HwmonReader;
class IncidentLedger;
class MonitorState;
class ProcessControl;
class SMCReader;
class ThermalZoneReader;

// GPU and CPU temperatures and the thermal level, refreshed every 30 s and whenever the
// machine's thermal level changes; a hot GPU lowers the priority of known GPU-heavy,
// non-critical processes, at most once per 300 s. Main thread only.
class GPUMonitor final : public QObject, public Lifecycle, public TemperatureSource {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kPollInterval{30000};
    // Linux announces no change of thermal level; the zones are checked this often instead.
    static constexpr std::chrono::milliseconds kThermalWatchInterval{5000};
    static constexpr qint64 kThrottleCooldownSeconds = 300;

    struct Collaborators {
        AppSettings& settings;
        MonitorState& monitor;
        IncidentLedger& incidents;
        ProcessControl& processes;
        const HwmonReader& hwmon;
        const ThermalZoneReader& zones;
        HIDThermalReader& hid;
        SMCReader& smc;
        const Clock& clock;
        Scheduler& scheduler;
    };

    explicit GPUMonitor(Collaborators c, QObject* parent = nullptr);

    static GPUMonitor& shared();

    void start() override;

    // One refresh: thermal level, GPU and CPU temperatures, then the auto-throttle.
    void refresh();
    void readThermalState();
    void readGPUTemperature();
    void readCPUTemperature();
    void evaluateAutoThrottle();

    // The GPU's temperature from the first chip of that driver; none without one.
    std::optional<double> readAcceleratorStatistics(const QString& chipName) const;

    std::optional<double> gpuTempC() const { return m_gpuTempC; }
    std::optional<double> cpuTempC() const override { return m_cpuTempC; }
    std::optional<double> throttleTripC() const override { return m_throttleTripC; }
    ThermalLevel thermalLevel() const { return m_thermalLevel; }
    bool gpuAvailable() const { return m_gpuAvailable; }
    std::optional<QDateTime> lastAutoThrottleAt() const { return m_lastAutoThrottleAt; }
    const QStringList& lastAutoThrottleTargets() const { return m_lastAutoThrottleTargets; }

    static const QStringList& gpuHeavyNonCriticalFragments();
    static const QStringList& acceleratorChips();
    static const QStringList& dieKeys();
    static const QStringList& pmpKeys();
    static const QStringList& intelKeys();
    // The CPU temperature that stands in for a missing sensor at each level.
    static std::optional<double> fallbackTemperature(ThermalLevel level);

Q_SIGNALS:
    void changed();

private:
    Collaborators m_c;

    std::optional<double> m_gpuTempC;
    std::optional<double> m_cpuTempC;
    std::optional<double> m_throttleTripC;
    ThermalLevel m_thermalLevel = ThermalLevel::nominal;
    bool m_gpuAvailable = false;
    std::optional<QDateTime> m_lastAutoThrottleAt;
    QStringList m_lastAutoThrottleTargets;
    WorkHandle m_pollTimer;
    WorkHandle m_thermalObserver;
};
