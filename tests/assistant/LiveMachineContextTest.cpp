#include "assistant/InsightSource.h"
#include "assistant/LiveMachineContext.h"
#include "optimisation/ProfileService.h"
#include "support/FakeMonitorState.h"

#include <gtest/gtest.h>

namespace {

struct FixedProfile final : ProfileService {
    PerformanceMode mode = PerformanceMode::balanced;
    PerformanceMode activeProfile() const override { return mode; }
    void applyMode(PerformanceMode) override {}
    void switchProfile(PerformanceMode m) override { mode = m; }
};

struct FixedInsights final : InsightSource {
    QList<InsightItem> items;
    QList<InsightItem> insights() const override { return items; }
};

ProcessInfoItem process(const char* name, int32_t pid, double cpu, double memoryMB, bool runaway = false,
                        bool isProtected = false)
{
    ProcessInfoItem item;
    item.name = QString::fromUtf8(name);
    item.pid = pid;
    item.cpuUsage = cpu;
    item.memoryMB = memoryMB;
    item.isRunaway = runaway;
    item.isProtected = isProtected;
    return item;
}

struct Context {
    FakeMonitorState monitor;
    FixedProfile profile;
    FixedInsights insights;

    Context()
    {
        monitor.health.score = 82;
        monitor.snapshot.cpuUsage = 37.2;
        monitor.snapshot.memoryUsed = 11.5;
        monitor.snapshot.memoryTotal = 16.0;
        monitor.snapshot.memoryPressure = 72.0;
        monitor.snapshot.diskTotal = 467ULL << 30;
        monitor.snapshot.diskUsed = monitor.snapshot.diskTotal - 180603088077ULL;  // 168.2 GiB free, 64 % full
        monitor.snapshot.cpuTempC = 54.3;
        monitor.snapshot.topProcesses = {process("WindowServer", 151, 12, 412, false, true),
                                         process("Xcode", 812, 64, 2355, true)};
    }
    std::string text() const { return buildLiveMachineContext(monitor, profile, insights).toStdString(); }
};

}  // namespace

TEST(LiveMachineContext, ExampleBlockByteExact)
{
    Context c;
    const char* expected =
        "CURRENT MACHINE STATE (measured locally, live):\n"
        "- Health score: 82/100\n"
        "- CPU: 37% in use\n"
        "- Memory: 11.5 GB of 16.0 GB used (72% \xE2\x80\x94 pressure 72%)\n"
        "- Disk: 64% full, 168.2 GB free\n"
        "- CPU temperature: 54\xC2\xB0" "C (thermal state: Nominal)\n"
        "- Active performance profile: Balanced\n"
        "- Top processes by CPU:\n"
        "    \xE2\x80\xA2 Xcode (pid 812) \xE2\x80\x94 64% CPU, 2.3 GB [RUNAWAY]\n"
        "    \xE2\x80\xA2 WindowServer (pid 151) \xE2\x80\x94 12% CPU, 412 MB [protected]\n"
        "- Top processes by memory:\n"
        "    \xE2\x80\xA2 Xcode \xE2\x80\x94 2.3 GB\n"
        "    \xE2\x80\xA2 WindowServer \xE2\x80\x94 412 MB\n"
        "- Veltranmoor's analysis has not flagged anything yet.";
    EXPECT_EQ(c.text(), expected);
}

TEST(LiveMachineContext, EdgeCases)
{
    {
        // Nothing sampled yet: zero totals, no processes, no sensor.
        Context c;
        c.monitor.snapshot = PerformanceSnapshot{};
        c.monitor.health = HealthScore{};
        c.profile.mode = PerformanceMode::creativeWork;
        c.monitor.snapshot.thermalState = ThermalLevel::serious;
        EXPECT_EQ(c.text(),
                  "CURRENT MACHINE STATE (measured locally, live):\n"
                  "- Health score: 0/100\n"
                  "- CPU: 0% in use\n"
                  "- Memory: 0.0 GB of 0.0 GB used (0% \xE2\x80\x94 pressure 0%)\n"
                  "- Disk: 0% full, 0.0 GB free\n"
                  "- Thermal state: Serious (no die-temp sensor readable)\n"
                  "- Active performance profile: Creative Work\n"
                  "- Veltranmoor's analysis has not flagged anything yet.");
    }
    {
        // Seven processes: five by CPU (ties keep sample order), three by memory; the 1024 MB edge.
        Context c;
        c.monitor.snapshot.topProcesses = {process("a", 1, 5, 1023.6), process("b", 2, 9, 1024, true, true),
                                           process("c", 3, 5, 10),     process("d", 4, 1, 2000),
                                           process("e", 5, 7, 1),      process("f", 6, 5, 3),
                                           process("g", 7, 0, 4)};
        const QString text = QString::fromStdString(c.text());
        EXPECT_TRUE(text.contains(QStringLiteral(
            "- Top processes by CPU:\n"
            "    \u2022 b (pid 2) \u2014 9% CPU, 1.0 GB [RUNAWAY, protected]\n"
            "    \u2022 e (pid 5) \u2014 7% CPU, 1 MB\n"
            "    \u2022 a (pid 1) \u2014 5% CPU, 1024 MB\n"
            "    \u2022 c (pid 3) \u2014 5% CPU, 10 MB\n"
            "    \u2022 f (pid 6) \u2014 5% CPU, 3 MB\n"
            "- Top processes by memory:\n"
            "    \u2022 d \u2014 2.0 GB\n"
            "    \u2022 b \u2014 1.0 GB\n"
            "    \u2022 a \u2014 1024 MB\n- Veltranmoor")))
            << text.toStdString();
    }
    {
        Context c;
        c.monitor.snapshot.topProcesses.clear();
        for (int i = 0; i < 9; ++i) {
            c.insights.items.append({i == 0 ? InsightItem::Severity::critical : InsightItem::Severity::warning,
                                     QStringLiteral("T%1").arg(i), QStringLiteral("D%1").arg(i)});
        }
        c.insights.items[1].severity = InsightItem::Severity::info;
        const QString text = QString::fromStdString(c.text());
        EXPECT_TRUE(text.endsWith(QStringLiteral("- Active performance profile: Balanced\n"
                                                 "- Findings from Veltranmoor's own analysis:\n"
                                                 "    \u2022 [critical] T0 \u2014 D0\n"
                                                 "    \u2022 [info] T1 \u2014 D1\n"
                                                 "    \u2022 [warning] T2 \u2014 D2\n"
                                                 "    \u2022 [warning] T3 \u2014 D3\n"
                                                 "    \u2022 [warning] T4 \u2014 D4\n"
                                                 "    \u2022 [warning] T5 \u2014 D5")))
            << text.toStdString();
    }
}
