#include "monitoring/MonitorRules.h"
#include "monitoring/ThresholdThrottleAdvisor.h"

#include <gtest/gtest.h>

using namespace MonitorRules;

namespace {

constexpr uint64_t gib = 1ull << 30;

PerformanceSnapshot snapshot(double cpu, double memoryPercent, double freeGiB, ThermalLevel thermal)
{
    PerformanceSnapshot s;
    s.cpuUsage = cpu;
    s.memoryTotal = 16.0;
    s.memoryUsed = 16.0 * memoryPercent / 100.0;
    s.diskTotal = 1000 * gib;
    s.diskUsed = s.diskTotal - uint64_t(freeGiB * double(gib));
    s.thermalState = thermal;
    return s;
}

}  // namespace

TEST(HealthScore, BandsAndEdgeCases)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    struct Case {
        const char* what;
        PerformanceSnapshot s;
        int64_t cpu, memory, disk, thermal, score;
    } cases[] = {
        {"all well", snapshot(0, 10, 200, ThermalLevel::nominal), 100, 100, 100, 100, 100},
        {"memory 79.9 %", snapshot(0, 79.9, 200, ThermalLevel::nominal), 100, 50, 100, 100, 85},
        {"memory 80 %", snapshot(0, 80, 200, ThermalLevel::nominal), 100, 40, 100, 100, 82},
        {"memory 100 %", snapshot(0, 100, 200, ThermalLevel::nominal), 100, 0, 100, 100, 70},
        {"memory 60 %", snapshot(0, 60, 200, ThermalLevel::nominal), 100, 100, 100, 100, 100},
        {"50 GB free", snapshot(0, 10, 50, ThermalLevel::nominal), 100, 100, 100, 100, 100},
        {"20 GB free", snapshot(0, 10, 20, ThermalLevel::nominal), 100, 100, 50, 100, 90},
        {"10 GB free", snapshot(0, 10, 10, ThermalLevel::nominal), 100, 100, 20, 100, 84},
        {"0 GB free", snapshot(0, 10, 0, ThermalLevel::nominal), 100, 100, 0, 100, 80},
        {"35 GB free", snapshot(0, 10, 35, ThermalLevel::nominal), 100, 100, 75, 100, 95},
        {"CPU 45.7 %", snapshot(45.7, 10, 200, ThermalLevel::nominal), 54, 100, 100, 100, 86},
        {"CPU above 100 %", snapshot(130, 10, 200, ThermalLevel::nominal), 0, 100, 100, 100, 70},
        {"fair", snapshot(0, 10, 200, ThermalLevel::fair), 100, 100, 100, 70, 94},
        {"serious", snapshot(0, 10, 200, ThermalLevel::serious), 100, 100, 100, 40, 88},
        {"everything at its worst", snapshot(100, 100, 0, ThermalLevel::critical), 0, 0, 0, 10, 2},
    };
    for (const Case& c : cases) {
        const HealthScore h = computeHealth(c.s, now);
        EXPECT_EQ(h.cpuScore, c.cpu) << c.what;
        EXPECT_EQ(h.memoryScore, c.memory) << c.what;
        EXPECT_EQ(h.diskScore, c.disk) << c.what;
        EXPECT_EQ(h.thermalScore, c.thermal) << c.what;
        EXPECT_EQ(h.score, c.score) << c.what;
        EXPECT_EQ(h.timestamp, now);
    }

    PerformanceSnapshot odd = snapshot(0, 10, 200, ThermalLevel::nominal);
    odd.memoryTotal = 0;  // no memory reading
    odd.diskUsed = odd.diskTotal + 5;  // used beyond the total reads as nothing free
    const HealthScore h = computeHealth(odd, now);
    EXPECT_EQ(h.memoryScore, 100);
    EXPECT_EQ(h.diskScore, 0);
    EXPECT_EQ(freeGB(odd), 0);
}

TEST(ThermalLevels, TemperatureBoundsAndPlatformStates)
{
    const std::pair<double, ThermalLevel> temps[] = {
        {-5, ThermalLevel::nominal}, {59.9, ThermalLevel::nominal}, {60.0, ThermalLevel::fair},
        {74.9, ThermalLevel::fair},  {75.0, ThermalLevel::serious}, {89.9, ThermalLevel::serious},
        {90.0, ThermalLevel::critical}};
    for (const auto& [celsius, level] : temps) EXPECT_EQ(thermalLevelForTemperature(celsius), level) << celsius;

    const std::pair<int, ThermalLevel> states[] = {{0, ThermalLevel::nominal}, {1, ThermalLevel::fair},
                                                   {2, ThermalLevel::serious}, {3, ThermalLevel::critical},
                                                   {4, ThermalLevel::nominal}, {-1, ThermalLevel::nominal}};
    for (const auto& [state, level] : states) EXPECT_EQ(thermalLevelFromState(state), level) << state;
}

TEST(CpuShares, HostTicksAndProcessTimes)
{
    // user, system, idle, nice
    EXPECT_DOUBLE_EQ(hostCpuPercent({100, 50, 1000, 10}, {200, 150, 1300, 10}), 40.0);
    // A counter that went down counts 0; the others still count.
    EXPECT_DOUBLE_EQ(hostCpuPercent({100, 50, 1000, 10}, {200, 40, 1300, 5}), 25.0);
    EXPECT_DOUBLE_EQ(hostCpuPercent({100, 50, 1000, 10}, {100, 50, 1000, 10}), 0.0);
    EXPECT_DOUBLE_EQ(hostCpuPercent({UINT64_MAX, 0, 0, 0}, {5, 0, 0, 0}), 0.0);

    EXPECT_DOUBLE_EQ(processCpuPercent(1'000'000'000, 3'000'000'000, 2.0), 100.0);
    EXPECT_DOUBLE_EQ(processCpuPercent(0, 500'000'000, 0.5), 100.0);
    EXPECT_DOUBLE_EQ(processCpuPercent(0, 2'500'000'000, 1.0), 250.0);  // several cores
    EXPECT_DOUBLE_EQ(processCpuPercent(5'000, 4'000, 1.0), 0.0);       // went down
    EXPECT_DOUBLE_EQ(processCpuPercent(0, 1'000, 0.0), 0.0);
}

TEST(ProtectedNames, PlainSubstringsOfTheUsersListAndTheBuiltInOnes)
{
    EXPECT_EQ(builtinProtectedProcesses().size(), 47);
    const QStringList user = {QStringLiteral("finder"), QStringLiteral("powerd")};
    const std::pair<const char*, bool> cases[] = {
        {"Google Chrome", true},  // contains "go"
        {"gnome-shell", true},    // contains "sh"
        {"Finder", true},         // the user's list, any case
        {"upowerd", true},
        {"busyloop", false},
        {"firefox", false},
        {"Xorg", false},
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(isProtectedName(QString::fromUtf8(name), user), expected) << name;
}

TEST(MonitorTexts, ThrottleDetailAndSwitchReasons)
{
    EXPECT_EQ(throttleDetail(4242, 97.34, 31.6, QStringLiteral("Exceeds CPU threshold")),
              QStringLiteral("PID 4242 at 97.3% for 31s \u2014 Exceeds CPU threshold"));
    // printf's rounding of an exact tie.
    EXPECT_EQ(throttleDetail(7, 97.25, 30, QStringLiteral("x")), QStringLiteral("PID 7 at 97.2% for 30s \u2014 x"));
    // Until the learning engine lands, the stand-in says that nothing was learned yet.
    ThresholdThrottleAdvisor standIn;
    const ThrottleVerdict verdict = standIn.judgeProcessCPU(ProcessInfoItem{});
    EXPECT_EQ(verdict.reason, QStringLiteral("Exceeds threshold (no baseline yet)"));
    EXPECT_FALSE(verdict.leaveAlone);
    const struct {
        const char* mode;
        int level;
        bool charging;
        const char* reason;
    } cases[] = {
        {"Max Performance", 100, true, "High load detected, plugged in"},
        {"Balanced", 50, true, "Standard usage pattern"},
        {"Battery Saver", 18, false, "Battery at 18%, not charging"},
        {"Battery Saver", 18, true, "Battery at 18%"},
        {"Creative Work", 50, true, "Creative application detected"},
        {"Developer", 50, true, "Development environment detected"},
        {"Gaming", 50, true, "Gaming application detected"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(autoSwitchReason(QString::fromUtf8(c.mode), c.level, c.charging), QString::fromUtf8(c.reason)) << c.mode;
    }
}
