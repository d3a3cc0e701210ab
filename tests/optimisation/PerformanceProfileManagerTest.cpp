#include "core/AppSettings.h"
#include "core/UserDefaults.h"
#include "optimisation/PerformanceProfileManager.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

namespace {

struct ProfileRig {
    UserDefaults defaults{UserDefaults::defaultPath()};
    ManualClock clock;
    AppSettings settings{defaults, clock};
};

int countOf(const QStringList& names, const QString& name) { return int(names.count(name)); }

}  // namespace

TEST(PerformanceProfileManager, StartsFromTheStoredKeysAndWritesNothing)
{
    {
        ProfileRig rig;
        PerformanceProfileManager profiles(rig.settings, rig.clock);
        EXPECT_EQ(profiles.activeProfile(), PerformanceMode::balanced);
        EXPECT_FALSE(profiles.autoSwitchEnabled());
        EXPECT_TRUE(profiles.profileHistory().isEmpty());
        EXPECT_FALSE(rig.defaults.getBool(QStringLiteral("veltranmoor_auto_switch")).has_value())
            << "creating the manager stores nothing";
        EXPECT_FALSE(rig.defaults.getString(QStringLiteral("veltranmoor_active_profile")).has_value());
        EXPECT_EQ(rig.settings.cpuThreshold(), 80.0) << "creating does not apply the profile";

        // Turning automatic switching on (or off again) is stored at once.
        profiles.setAutoSwitchEnabled(true);
        EXPECT_EQ(rig.defaults.getBool(QStringLiteral("veltranmoor_auto_switch")), true);
        profiles.setAutoSwitchEnabled(false);
        EXPECT_EQ(rig.defaults.getBool(QStringLiteral("veltranmoor_auto_switch")), false);
        profiles.setAutoSwitchEnabled(true);
    }
    {
        ProfileRig rig;
        rig.defaults.setString(QStringLiteral("veltranmoor_active_profile"), QStringLiteral("Developer"));
        PerformanceProfileManager profiles(rig.settings, rig.clock);
        EXPECT_EQ(profiles.activeProfile(), PerformanceMode::developer);
        EXPECT_TRUE(profiles.autoSwitchEnabled()) << "kept from the manager before";
        profiles.applyMode(profiles.activeProfile());
        EXPECT_EQ(profiles.profileHistory().first().reason, QStringLiteral("Restored at start-up"));
    }
    {
        ProfileRig rig;
        rig.defaults.setString(QStringLiteral("veltranmoor_active_profile"), QStringLiteral("Turbo"));
        PerformanceProfileManager profiles(rig.settings, rig.clock);
        EXPECT_EQ(profiles.activeProfile(), PerformanceMode::balanced);
    }
}

TEST(PerformanceProfileManager, SwitchWritesTheProfileStoresItAndProtectsItsAppsOnce)
{
    ProfileRig rig;
    PerformanceProfileManager profiles(rig.settings, rig.clock);
    QSignalSpy activeChanged(&profiles, &PerformanceProfileManager::activeProfileChanged);
    const QStringList before = rig.settings.protectedProcesses();
    ASSERT_FALSE(before.isEmpty());

    profiles.switchProfile(PerformanceMode::gaming);
    EXPECT_EQ(profiles.activeProfile(), PerformanceMode::gaming);
    EXPECT_EQ(activeChanged.count(), 1);
    EXPECT_EQ(rig.defaults.getString(QStringLiteral("veltranmoor_active_profile")), QStringLiteral("Gaming"));
    EXPECT_EQ(rig.settings.cpuThreshold(), 50.0);
    EXPECT_EQ(rig.settings.pollingIntervalSeconds(), 5.0);
    EXPECT_TRUE(rig.settings.autoThrottleEnabled());
    EXPECT_TRUE(rig.settings.autoCleanupEnabled());
    EXPECT_EQ(rig.settings.sustainedTimeBeforeAction(), 8.0);
    ASSERT_EQ(profiles.profileHistory().size(), 1);
    const ProfileSwitchEvent first = profiles.profileHistory().first();
    EXPECT_EQ(first.from, QStringLiteral("Balanced"));
    EXPECT_EQ(first.to, QStringLiteral("Gaming"));
    EXPECT_EQ(first.reason, QStringLiteral("Manual switch"));
    EXPECT_EQ(first.timestamp, rig.clock.now());
    EXPECT_FALSE(first.id.isNull());

    // Again, to the profile already active: "initial", and the list grows by nothing.
    rig.clock.advance(std::chrono::minutes(1));
    profiles.switchProfile(PerformanceMode::gaming);
    EXPECT_EQ(activeChanged.count(), 1);
    ASSERT_EQ(profiles.profileHistory().size(), 2);
    EXPECT_EQ(profiles.profileHistory().first().from, QStringLiteral("initial"));
    EXPECT_NE(profiles.profileHistory().first().id, first.id);
    const QStringList after = rig.settings.protectedProcesses();
    for (const char* name : {"Steam", "Epic Games", "Battle.net", "MTLCompilerService", "GPUToolsAgent"}) {
        EXPECT_EQ(countOf(after, QString::fromUtf8(name)), 1) << name;
    }
    for (const QString& name : before) EXPECT_TRUE(after.contains(name)) << qPrintable(name);
    EXPECT_EQ(after.size(), QSet<QString>(after.begin(), after.end()).size());

    // Leaving the profile unprotects nothing; an automatic switch's reason is carried along.
    profiles.setLastAutoSwitchReason(QStringLiteral("Standard usage pattern"));
    profiles.switchProfile(PerformanceMode::batterySaver);
    EXPECT_FALSE(rig.settings.autoCleanupEnabled()) << "only Battery Saver turns cleanup off";
    EXPECT_TRUE(rig.settings.protectedProcesses().contains(QStringLiteral("Steam")));
    EXPECT_EQ(profiles.profileHistory().first().reason, QStringLiteral("Standard usage pattern"));
    EXPECT_EQ(profiles.profileHistory().first().from, QStringLiteral("Gaming"));
    profiles.switchProfile(QStringLiteral("Developer"));
    EXPECT_EQ(profiles.activeProfileName(), QStringLiteral("Developer"));
    EXPECT_EQ(profiles.profileHistory().first().reason, QStringLiteral("Standard usage pattern"));
    profiles.switchProfile(QStringLiteral("Turbo"));
    EXPECT_EQ(profiles.activeProfile(), PerformanceMode::developer) << "an unknown name switches nothing";
    EXPECT_EQ(profiles.profileHistory().size(), 4);
}

TEST(PerformanceProfileManager, ApplyWritesEachProfilesValuesWithoutSwitching)
{
    const struct {
        PerformanceMode mode;
        double cpu, interval;
        bool cleanup;
        double sustained;
        int listed;
    } rows[] = {
        {PerformanceMode::maxPerformance, 60, 5, true, 10, 0}, {PerformanceMode::balanced, 80, 10, true, 30, 0},
        {PerformanceMode::batterySaver, 95, 30, false, 60, 0}, {PerformanceMode::creativeWork, 70, 10, true, 20, 14},
        {PerformanceMode::developer, 75, 10, true, 45, 43},    {PerformanceMode::gaming, 50, 5, true, 8, 13},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(qPrintable(PerformanceModes::rawValue(r.mode)));
        ProfileRig rig;
        rig.settings.setAutoThrottleEnabled(false);
        // A damaged protected list is replaced by the profile's own names.
        rig.settings.setProtectedProcessesData(QByteArray("{not json"));
        PerformanceProfileManager profiles(rig.settings, rig.clock);
        profiles.applyMode(r.mode);
        EXPECT_EQ(profiles.activeProfile(), PerformanceMode::balanced);
        EXPECT_FALSE(rig.defaults.getString(QStringLiteral("veltranmoor_active_profile")).has_value());
        EXPECT_EQ(rig.settings.cpuThreshold(), r.cpu);
        EXPECT_EQ(rig.settings.pollingIntervalSeconds(), r.interval);
        EXPECT_TRUE(rig.settings.autoThrottleEnabled());
        EXPECT_EQ(rig.settings.autoCleanupEnabled(), r.cleanup);
        EXPECT_EQ(rig.settings.sustainedTimeBeforeAction(), r.sustained);
        const QStringList listed = rig.settings.protectedProcesses();
        EXPECT_EQ(listed.size(), r.listed);
        for (const QString& name : PerformanceProfileManager::protectedProcessesOf(r.mode)) {
            EXPECT_TRUE(listed.contains(name)) << qPrintable(name);
        }
        ASSERT_EQ(profiles.profileHistory().size(), 1);
        // The launch application of the stored profile reads "initial", and says it was nobody's switch.
        EXPECT_EQ(profiles.profileHistory().first().from, r.mode == PerformanceMode::balanced
                                                              ? QStringLiteral("initial")
                                                              : QStringLiteral("Balanced"));
        EXPECT_EQ(profiles.profileHistory().first().reason, QStringLiteral("Default at start-up"));
    }
}

TEST(PerformanceProfileManager, HistoryKeepsTheNewest100)
{
    ProfileRig rig;
    PerformanceProfileManager profiles(rig.settings, rig.clock);
    const QDateTime start = rig.clock.now();
    for (int i = 0; i < 101; ++i) {
        profiles.applyMode(PerformanceMode::developer);
        rig.clock.advance(std::chrono::seconds(1));
    }
    ASSERT_EQ(profiles.profileHistory().size(), 100);
    EXPECT_EQ(profiles.profileHistory().first().timestamp, start.addSecs(100));
    EXPECT_EQ(profiles.profileHistory().last().timestamp, start.addSecs(1)) << "the oldest is pushed out";
}

TEST(PerformanceProfileManager, DetectsTheModeFromTheMachinesState)
{
    const struct {
        int level;
        bool charging;
        QStringList names;
        double cpu;
        PerformanceMode expected;
    } rows[] = {
        {19, false, {"Xcode"}, 10, PerformanceMode::batterySaver},
        {20, false, {"Xcode"}, 10, PerformanceMode::developer},
        {19, true, {}, 10, PerformanceMode::balanced},
        {49, false, {}, 10, PerformanceMode::batterySaver},
        {50, false, {}, 99, PerformanceMode::balanced},
        {80, true, {}, 70, PerformanceMode::balanced},
        {80, true, {}, 70.1, PerformanceMode::maxPerformance},
        {80, true, {"Xcode Build Service"}, 10, PerformanceMode::developer},
        {80, true, {"pycharm"}, 10, PerformanceMode::balanced},
        // A creative application anywhere wins over a developer tool earlier in the list.
        {80, true, {"PyCharm", "Steam", "Blender"}, 10, PerformanceMode::creativeWork},
        {80, true, {"steamwebhelper", "Steam Helper"}, 10, PerformanceMode::gaming},
        // No battery (level -1, not charging): never Battery Saver, and plugged in.
        {-1, false, {}, 10, PerformanceMode::balanced},
        {-1, false, {}, 95, PerformanceMode::maxPerformance},
        {-1, false, {"Cursor"}, 10, PerformanceMode::developer},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(QStringLiteral("%1 %2 %3 %4").arg(r.level).arg(r.charging).arg(r.names.join(',')).arg(r.cpu).toStdString());
        EXPECT_EQ(PerformanceProfileManager::detectMode(r.level, r.charging, r.names, r.cpu), r.expected);
    }
    ProfileRig rig;
    PerformanceProfileManager profiles(rig.settings, rig.clock);
    EXPECT_EQ(profiles.detectModeFromRunningApps(19, false, {}, 0), QStringLiteral("Battery Saver"));
    EXPECT_EQ(profiles.detectModeFromRunningApps(80, true, {"Figma"}, 0), QStringLiteral("Creative Work"));
}
