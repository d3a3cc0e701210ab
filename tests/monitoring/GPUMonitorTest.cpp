#include "monitoring/GPUMonitor.h"

#include "core/AppSettings.h"
#include "core/UserDefaults.h"
#include "monitoring/HIDThermalReader.h"
#include "monitoring/IncidentLedger.h"
#include "monitoring/SMCReader.h"
#include "platform/linux/ApplesmcKeySource.h"
#include "platform/linux/LinuxProcessControl.h"
#include "platform/linux/SysfsHwmonReader.h"
#include "platform/linux/SysfsThermalZoneReader.h"
#include "support/FakeMonitorState.h"
#include "support/FixtureTree.h"
#include "support/ManualScheduler.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/resource.h>

using namespace std::chrono_literals;

namespace {

class RecordingLedger final : public IncidentLedger {
public:
    QStringList names;
    void recordIncident(const QString& name) override { names.push_back(name); }
    QList<QPair<QString, int>> sortedIncidents() const override { return {}; }
};

// The real priority change, counted.
class CountingProcessControl final : public ProcessControl {
public:
    int calls = 0;
    ProcessStatus lowerPriority(ProcessIdentity process, ProcessOwner owner) override
    {
        ++calls;
        return m_real.lowerPriority(process, owner);
    }
    OpenedProcess openProcess(ProcessIdentity process, ProcessOwner owner) override
    {
        return m_real.openProcess(process, owner);
    }

private:
    LinuxProcessControl m_real;
};

struct Rig {
    ManualClock clock;
    ManualScheduler scheduler{clock};
    QTemporaryDir config;
    UserDefaults defaults{config.path() + "/settings.json"};
    AppSettings settings{defaults, clock};
    FakeMonitorState monitorState;
    RecordingLedger ledger;
    CountingProcessControl control;
    FixtureTree hwmonTree;
    FixtureTree thermalTree;
    SysfsHwmonReader hwmon{hwmonTree.path()};
    SysfsThermalZoneReader zones{thermalTree.path()};
    ApplesmcKeySource smcKeys{hwmon};
    HIDThermalReader hid{hwmon, zones};
    SMCReader smc{smcKeys};
    GPUMonitor monitor{{settings, monitorState, ledger, control, hwmon, zones, hid, smc, clock, scheduler}};

    Rig(const QString& hwmonCase, const QString& thermalCase)
        : hwmonTree("sys/hwmon/" + hwmonCase), thermalTree("sys/thermal/" + thermalCase)
    {
    }
};

// A real process whose name is a GPU-heavy one: a copy of sleep called "blender".
class NamedChild {
public:
    explicit NamedChild(const QString& name)
    {
        const QString program = m_bin.path() + "/" + name;
        QFile::copy(QStringLiteral("/bin/sleep"), program);
        QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
        m_process.start(program, {QStringLiteral("600")});
        m_process.waitForStarted(5000);
    }
    ~NamedChild()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    int32_t pid() const { return int32_t(m_process.processId()); }
    int nice() const
    {
        errno = 0;
        return ::getpriority(PRIO_PROCESS, id_t(pid()));
    }
    QString comm() const
    {
        QFile file(QStringLiteral("/proc/%1/comm").arg(pid()));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll().trimmed()) : QString();
    }

private:
    QTemporaryDir m_bin;
    QProcess m_process;
};

ProcessInfoItem item(int32_t pid, const QString& name, bool isProtected = false)
{
    ProcessInfoItem p;
    p.pid = pid;
    // As the sampler sees it, so a real child can be reached.
    if (const auto identity = LinuxProcessControl::identityOf(pid)) p.startTime = identity->startTime;
    p.name = name;
    p.isProtected = isProtected;
    return p;
}

}  // namespace

TEST(GPUMonitor, temperaturesAndThermalLevelPerMachine)
{
    struct Case {
        const char* hwmon;
        const char* thermal;
        std::optional<double> cpu;
        std::optional<double> gpu;
        ThermalLevel level;
    };
    const Case cases[] = {
        {"intel-laptop", "cool", 55.0, std::nullopt, ThermalLevel::nominal},
        // k10temp: the die (Tccd1 58.0) rather than Tctl (61.375, offset); Tctl when it is alone.
        {"amd-desktop", "cool", 58.0, 86.0, ThermalLevel::nominal},
        {"amd-tctl-only", "cool", 70.125, std::nullopt, ThermalLevel::nominal},
        {"nouveau", "passive", 55.0, 71.0, ThermalLevel::fair},
        {"applesmc", "cool", 61.0, std::nullopt, ThermalLevel::nominal},  // TC0P 58.25, TC0D 61.0
        {"none", "pkg", 63.0, std::nullopt, ThermalLevel::nominal},       // the package zone stands in
        // No sensor at all: the level gives the temperature (89, not 90, so the sampler says serious).
        {"none", "cool", std::nullopt, std::nullopt, ThermalLevel::nominal},
        {"none", "passive", 70.0, std::nullopt, ThermalLevel::fair},
        {"none", "hot", 89.0, std::nullopt, ThermalLevel::serious},
        {"none", "critical", 100.0, std::nullopt, ThermalLevel::critical},
        // Empty, non-numeric, 130.0 and 0.0 readings are skipped; 129.9 counts.
        {"damaged", "damaged", 129.9, std::nullopt, ThermalLevel::nominal},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.hwmon) + " / " + c.thermal);
        Rig rig(c.hwmon, c.thermal);
        rig.monitor.refresh();
        EXPECT_EQ(rig.monitor.cpuTempC(), c.cpu);
        EXPECT_EQ(static_cast<const TemperatureSource&>(rig.monitor).cpuTempC(), c.cpu);
        EXPECT_EQ(rig.monitor.gpuTempC(), c.gpu);
        EXPECT_EQ(rig.monitor.gpuAvailable(), c.gpu.has_value());
        EXPECT_EQ(rig.monitor.thermalLevel(), c.level);
    }
}

TEST(SMCReader, keyPackingAndDecoders)
{
    EXPECT_EQ(SMCReader::fourCharCode("TC0P"), 0x54433050U);
    EXPECT_EQ(SMCReader::fourCharCode("sp78"), 0x73703738U);
    EXPECT_EQ(SMCReader::fourCharCode("TC0"), std::nullopt);
    EXPECT_EQ(SMCReader::fourCharCode("TC0PX"), std::nullopt);

    const float fortyTwo = 42.25f;
    const QByteArray fltBytes(reinterpret_cast<const char*>(&fortyTwo), 4);
    struct Case {
        const char* type;
        QByteArray bytes;
        std::optional<double> value;
    };
    const Case cases[] = {
        {"sp78", QByteArray("\x2D\x80", 2), 45.5},
        {"sp78", QByteArray("\xFF\x00", 2), -1.0},
        {"sp78", QByteArray("\x2D", 1), std::nullopt},
        {"flt ", fltBytes, 42.25},
        {"flt ", fltBytes.left(3), std::nullopt},
        {"ui8 ", QByteArray("\xC8", 1), 200.0},
        {"si8 ", QByteArray("\xFF", 1), 255.0},
        {"ui8 ", QByteArray(), std::nullopt},
        {"fpe2", QByteArray("\x01\x00", 2), std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SMCReader::decode(*SMCReader::fourCharCode(c.type), c.bytes), c.value) << c.type;
    }

    // Through the applesmc driver's inputs: labels are the keys.
    SysfsHwmonReader hwmon(fixturePath("sys/hwmon/applesmc"));
    ApplesmcKeySource keys(hwmon);
    SMCReader reader(keys);
    EXPECT_EQ(reader.readKey("TC0P"), 58.25);
    EXPECT_EQ(reader.readKey("TB0T"), 31.0);
    EXPECT_EQ(reader.readKey("TC0E"), std::nullopt);
    EXPECT_EQ(reader.readKey("TC0"), std::nullopt);
}

TEST(GPUMonitor, hotGpuRenicesARealGpuHeavyChildAtMostOncePer300Seconds)
{
    NamedChild blender(QStringLiteral("blender"));
    ASSERT_GT(blender.pid(), 1);
    ASSERT_EQ(blender.comm(), "blender");
    const int niceBefore = blender.nice();
    ASSERT_LT(niceBefore, 19);

    Rig rig("amd-desktop", "cool");
    rig.monitorState.processes = {item(999999, QStringLiteral("Chrome Renderer"), /*isProtected=*/true),
                                  item(blender.pid(), blender.comm()), item(4242, QStringLiteral("gnome-shell"))};
    rig.monitor.start();

    EXPECT_EQ(rig.control.calls, 1);
    EXPECT_EQ(blender.nice(), 19);
    ASSERT_EQ(rig.monitorState.actions.size(), 1);
    const ActionRecord& record = rig.monitorState.actions.first();
    EXPECT_EQ(record.action, ActionType::processThrottled);
    EXPECT_EQ(record.target, "blender");
    EXPECT_EQ(record.detail, "GPU thermal auto-throttle (86°C)");
    EXPECT_TRUE(record.wasAutomatic);
    EXPECT_EQ(rig.ledger.names, QStringList{"blender"});
    EXPECT_EQ(rig.monitor.lastAutoThrottleAt(), rig.clock.now());
    EXPECT_EQ(rig.monitor.lastAutoThrottleTargets(), QStringList{"blender"});

    // Hot refreshes every 30 s within the cooldown do nothing.
    rig.scheduler.advance(299s);
    EXPECT_EQ(rig.control.calls, 1);
    EXPECT_EQ(rig.monitorState.actions.size(), 1);

    rig.scheduler.advance(1s);  // 300 s after the first
    EXPECT_EQ(rig.control.calls, 2);
    EXPECT_EQ(rig.monitorState.actions.size(), 2);

    // Cooled down: no more throttling, however long it runs.
    rig.hwmonTree.write("hwmon2/temp1_input", "62000\n");
    rig.scheduler.advance(900s);
    EXPECT_EQ(rig.control.calls, 2);
    EXPECT_EQ(rig.monitor.gpuTempC(), 62.0);
}

TEST(GPUMonitor, failedPriorityChangeIsLoggedAsFailedAndCountsNoIncident)
{
    NamedChild obs(QStringLiteral("obs"));
    Rig rig("none", "hot");  // no GPU sensor; the machine's level is serious
    rig.monitorState.processes = {item(obs.pid(), obs.comm()), item(1, QStringLiteral("obs-helper"))};
    rig.monitor.refresh();

    ASSERT_EQ(rig.monitorState.actions.size(), 2);
    EXPECT_EQ(rig.monitorState.actions[1].target, "obs");
    EXPECT_EQ(rig.monitorState.actions[1].detail, "GPU thermal auto-throttle (system serious)");
    EXPECT_EQ(rig.monitorState.actions[0].target, "obs-helper");
    EXPECT_TRUE(rig.monitorState.actions[0].detail.startsWith("GPU thermal auto-throttle (system serious) — failed: "));
    EXPECT_EQ(rig.ledger.names, QStringList{"obs"});
    EXPECT_EQ(rig.monitor.lastAutoThrottleTargets(), (QStringList{"obs", "obs-helper"}));
    EXPECT_EQ(obs.nice(), 19);
}

TEST(GPUMonitor, throttleNeedsTheSettingHeatAndACandidate)
{
    Rig rig("amd-desktop", "cool");
    rig.monitorState.processes = {item(999999, QStringLiteral("renderer"), /*isProtected=*/true)};

    // Only protected processes: nothing happens and the cooldown does not start.
    rig.monitor.refresh();
    EXPECT_EQ(rig.control.calls, 0);
    EXPECT_FALSE(rig.monitor.lastAutoThrottleAt());

    // Below a raised threshold at a nominal level: not hot.
    rig.monitorState.processes = {item(999998, QStringLiteral("Firefox Content"))};
    rig.settings.setGpuThermalThresholdC(90.0);
    rig.monitor.refresh();
    EXPECT_EQ(rig.control.calls, 0);

    rig.settings.setGpuThermalThresholdC(85.0);
    rig.settings.setGpuThermalAutoThrottleEnabled(false);
    rig.monitor.refresh();
    EXPECT_EQ(rig.control.calls, 0);

    rig.settings.setGpuThermalAutoThrottleEnabled(true);
    rig.monitor.refresh();
    EXPECT_EQ(rig.control.calls, 1);
    // The process is gone: nothing happened, so nothing is logged and no cooldown starts.
    EXPECT_TRUE(rig.monitorState.actions.isEmpty());
    EXPECT_TRUE(rig.ledger.names.isEmpty());
    EXPECT_FALSE(rig.monitor.lastAutoThrottleAt());
}

TEST(GPUMonitor, thermalLevelChangeIsPublishedBetweenRefreshes)
{
    Rig rig("amd-desktop", "cool");
    rig.settings.setGpuThermalAutoThrottleEnabled(false);
    rig.monitor.start();
    rig.monitor.start();  // a second start adds no timers
    EXPECT_EQ(rig.scheduler.pendingCount(), 2);
    ASSERT_EQ(rig.monitor.thermalLevel(), ThermalLevel::nominal);

    rig.thermalTree.write("thermal_zone0/temp", "120000\n");
    rig.hwmonTree.write("hwmon2/temp1_input", "70000\n");
    rig.scheduler.advance(5s);
    EXPECT_EQ(rig.monitor.thermalLevel(), ThermalLevel::critical);
    EXPECT_EQ(rig.monitor.gpuTempC(), 86.0);  // only the level is read on a change

    rig.scheduler.advance(25s);
    EXPECT_EQ(rig.monitor.gpuTempC(), 70.0);
}
