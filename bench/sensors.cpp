// CPU time of one battery + network + temperature refresh on this machine: the readings the
// three monitors take per tick, on the real /sys and /proc, averaged over many refreshes.
#include "core/AppSettings.h"
#include "core/Clock.h"
#include "core/Scheduler.h"
#include "core/UserDefaults.h"
#include "monitoring/BatteryMonitor.h"
#include "monitoring/GPUMonitor.h"
#include "monitoring/HIDThermalReader.h"
#include "monitoring/IncidentLedger.h"
#include "monitoring/MonitorState.h"
#include "monitoring/NetworkMonitor.h"
#include "monitoring/SMCReader.h"
#include "platform/linux/ApplesmcKeySource.h"
#include "platform/linux/LinuxProcessControl.h"
#include "platform/linux/ProcTcpTableReader.h"
#include "platform/linux/SysfsHwmonReader.h"
#include "platform/linux/SysfsNetStatsReader.h"
#include "platform/linux/SysfsPowerSupplyReader.h"
#include "platform/linux/SysfsThermalZoneReader.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

#include "BenchClock.h"

using bench::cpuSeconds;
using bench::monotonicMs;
using bench::residentKb;

namespace {

class NoProcesses final : public MonitorState {
public:
    PerformanceSnapshot currentSnapshot() const override { return {}; }
    HealthScore currentHealth() const override { return {}; }
    QList<ProcessInfoItem> topProcesses() const override { return {}; }
    void logAction(const ActionRecord&) override {}
};

class NoIncidents final : public IncidentLedger {
public:
    void recordIncident(const QString&) override {}
    QList<QPair<QString, int>> sortedIncidents() const override { return {}; }
};

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir config;
    SystemClock clock;
    QtScheduler scheduler;
    UserDefaults defaults(config.path() + QStringLiteral("/settings.json"));
    AppSettings settings(defaults, clock);

    SysfsPowerSupplyReader power;
    SysfsNetStatsReader counters;
    ProcTcpTableReader tcp;
    SysfsHwmonReader hwmon;
    SysfsThermalZoneReader zones;
    ApplesmcKeySource smcKeys(hwmon);
    HIDThermalReader hid(hwmon, zones);
    SMCReader smc(smcKeys);
    LinuxProcessControl control;
    NoProcesses state;
    NoIncidents incidents;
    GPUMonitor gpu({settings, state, incidents, control, hwmon, zones, hid, smc, clock, scheduler});

    NetworkMonitor::Previous previous;
    auto refresh = [&] {
        const BatteryInfo battery = BatteryMonitor::readPowerSource(power.read());
        const NetworkMonitor::Measurement m = NetworkMonitor::measure(counters, tcp, previous, clock.now());
        previous = {m.bytesIn, m.bytesOut, m.timestamp};
        gpu.refresh();
        return battery.level + m.connections;
    };

    for (int i = 0; i < 20; ++i) refresh();  // warm caches and the sensors' one-time lookup
    constexpr int kRefreshes = 2000;
    long sink = 0;
    const double start = cpuSeconds();
    for (int i = 0; i < kRefreshes; ++i) sink += long(refresh());
    const double perRefreshUs = (cpuSeconds() - start) / kRefreshes * 1e6;
    std::printf("sensors_refresh_cpu_us %.1f\n", perRefreshUs);
    return sink == -1 ? 1 : 0;
}
