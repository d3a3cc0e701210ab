// The profile manager driven by the real sampling engine: the twelfth-sample choice and a
// profile's polling interval taking effect without a restart.
#include "monitoring/MonitorFakes.h"
#include "optimisation/PerformanceProfileManager.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

using namespace std::chrono_literals;

namespace {

struct SamplingRig {
    MonitorRig base;
    PerformanceProfileManager profiles{base.settings, base.clock};
    FixtureReaders readers;
    PerformanceMonitor monitor;

    explicit SamplingRig(const QString& procRoot)
        : readers(procRoot),
          monitor(readers.platform(),
                  MonitorCollaborators{base.settings, base.clock, base.scheduler, base.control, base.ledger,
                                       base.notifier, base.temperature, base.cleaner, base.battery, base.advisor,
                                       profiles})
    {
        // Nothing here is about the automatic actions.
        base.settings.setNotificationsEnabled(false);
    }

    Sample sampleWith(const QStringList& names, double cpu)
    {
        Sample s;
        for (const QString& name : names) {
            ProcessInfoItem p;
            p.pid = 4242;
            p.name = name;
            s.snapshot.topProcesses << p;
        }
        s.snapshot.timestamp = base.clock.now();
        s.snapshot.cpuUsage = cpu;
        s.health.timestamp = base.clock.now();
        s.cpu = cpu;
        return s;
    }
};

}  // namespace

TEST(ProfileSampling, EveryTwelfthSampleSwitchesAndADesktopIsNeverABatterySaver)
{
    SamplingRig rig(QStringLiteral("/nonexistent"));
    rig.profiles.setAutoSwitchEnabled(true);
    rig.base.battery.level = -1;  // no battery
    rig.base.battery.charging = false;

    for (int i = 1; i <= 11; ++i) rig.monitor.applySample(rig.sampleWith({"Visual Studio Code"}, 20));
    EXPECT_EQ(rig.profiles.activeProfile(), PerformanceMode::balanced);
    rig.monitor.applySample(rig.sampleWith({"Visual Studio Code"}, 20));
    EXPECT_EQ(rig.profiles.activeProfile(), PerformanceMode::developer);
    EXPECT_EQ(rig.profiles.lastAutoSwitchReason(), QStringLiteral("Development environment detected"));
    ASSERT_EQ(rig.profiles.profileHistory().size(), 1);
    EXPECT_EQ(rig.profiles.profileHistory().first().reason, QStringLiteral("Development environment detected"));
    EXPECT_EQ(rig.base.settings.sustainedTimeBeforeAction(), 45.0);

    // The editor closes: back to Balanced, not to Battery Saver.
    for (int i = 1; i <= 12; ++i) rig.monitor.applySample(rig.sampleWith({"bash"}, 20));
    EXPECT_EQ(rig.profiles.activeProfile(), PerformanceMode::balanced);
    EXPECT_EQ(rig.profiles.profileHistory().first().reason, QStringLiteral("Standard usage pattern"));

    // A laptop at 18 % on battery is.
    rig.base.battery.level = 18;
    for (int i = 1; i <= 12; ++i) rig.monitor.applySample(rig.sampleWith({"bash"}, 20));
    EXPECT_EQ(rig.profiles.activeProfile(), PerformanceMode::batterySaver);
    EXPECT_EQ(rig.profiles.lastAutoSwitchReason(), QStringLiteral("Battery at 18%, not charging"));
    EXPECT_EQ(rig.base.defaults.getString(QStringLiteral("veltranmoor_active_profile")), QStringLiteral("Battery Saver"));
}

TEST(ProfileSampling, AProfilesPollingIntervalTakesEffectAtOnce)
{
    QTemporaryDir dir;
    ASSERT_EQ(QProcess::execute(QStringLiteral("/bin/cp"),
                                {QStringLiteral("-a"), QStringLiteral(VELTRANMOOR_FIXTURES "/proc/basic/."), dir.path()}),
              0);
    SamplingRig rig(dir.path());
    rig.monitor.startMonitoring();
    ASSERT_TRUE(waitUntil([&] { return rig.monitor.pollCount() == 1; }));

    rig.profiles.switchProfile(PerformanceMode::batterySaver);
    rig.base.scheduler.advance(29s);
    QThread::msleep(50);
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.monitor.pollCount(), 1) << "Battery Saver samples every 30 s";
    rig.base.scheduler.advance(1s);
    ASSERT_TRUE(waitUntil([&] { return rig.monitor.pollCount() == 2; }));

    rig.profiles.switchProfile(PerformanceMode::gaming);
    rig.base.scheduler.advance(5s);
    ASSERT_TRUE(waitUntil([&] { return rig.monitor.pollCount() == 3; })) << "Gaming samples every 5 s";
    rig.monitor.stopMonitoring();
}
