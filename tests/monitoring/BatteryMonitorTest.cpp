#include "monitoring/BatteryMonitor.h"

#include "core/SerialQueue.h"
#include "platform/linux/SysfsPowerSupplyReader.h"
#include "support/FixtureTree.h"
#include "support/InlineExecutor.h"
#include "support/ManualScheduler.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

BatteryInfo readFixture(const QString& name)
{
    return BatteryMonitor::readPowerSource(SysfsPowerSupplyReader(fixturePath("sys/power_supply/" + name)).read());
}

void expectInfo(const BatteryInfo& got, const BatteryInfo& want)
{
    EXPECT_EQ(got.level, want.level);
    EXPECT_EQ(got.isCharging, want.isCharging);
    EXPECT_EQ(got.isFullyCharged, want.isFullyCharged);
    EXPECT_EQ(got.cycleCount, want.cycleCount);
    EXPECT_NEAR(got.healthPercent, want.healthPercent, 0.01);
    EXPECT_NEAR(got.temperature, want.temperature, 0.001);
    EXPECT_EQ(got.timeRemaining, want.timeRemaining);
    EXPECT_EQ(got.powerSource, want.powerSource);
    EXPECT_EQ(got.maxCapacity, want.maxCapacity);
    EXPECT_EQ(got.designCapacity, want.designCapacity);
    EXPECT_EQ(got.currentCapacity, want.currentCapacity);
    EXPECT_NEAR(got.voltage, want.voltage, 0.001);
    EXPECT_NEAR(got.amperage, want.amperage, 0.001);
}

}  // namespace

TEST(BatteryMonitor, readsEachMachineFromItsPowerSupplyTree)
{
    struct Case {
        const char* fixture;
        BatteryInfo info;
        const char* health;
        const char* time;
    };
    const Case cases[] = {
        {"charging", {57, true, false, 87, 90.01, 30.1, 75, "AC Power", 100, 5136, 57, 8.112, 2.104}, "Excellent",
         "1h 15m to full"},
        {"discharging", {82, false, false, 412, 86.0, 32.5, 125, "Battery", 100, 5000, 82, 11.87, -1.45}, "Good",
         "2h 5m remaining"},
        // Full-charge capacity above design reads as 100 %.
        {"full", {100, false, true, 23, 100.0, 28.8, std::nullopt, "AC Power", 100, 5200, 100, 13.05, 0}, "Excellent",
         "Fully Charged"},
        // Energy-counting battery without temp or time: amperage from power / voltage, time
        // from energy / power (28.876 Wh at 9.87 W).
        {"no-temp-time", {64, false, false, 0, 79.13, 0, 175, "Battery", 100, 57020, 64, 12.012, -0.821}, "Fair",
         "2h 55m remaining"},
        // No time from the driver while charging: the missing charge over the current.
        {"charge-derived", {40, true, false, 0, 100.0, 0, 120, "AC Power", 100, 5000, 40, 0, 1.5}, "Excellent",
         "2h 0m to full"},
        // On mains and held where it is ("Not charging"): plugged in, nothing to calculate.
        {"not-charging", {80, false, false, 0, 100.0, 0, std::nullopt, "AC Power", 100, 5000, 80, 0, 0}, "Excellent",
         "Plugged in, not charging"},
        {"no-battery", BatteryInfo{}, "Excellent", "Calculating..."},
        // Empty, non-numeric, fractional and overlong files: each value falls back, nothing throws.
        {"damaged", {-1, false, false, 0, 100.0, 0, std::nullopt, "Battery", 0, 0, -1, 0, 0}, "Excellent",
         "Calculating..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        const BatteryInfo info = readFixture(c.fixture);
        expectInfo(info, c.info);
        EXPECT_EQ(BatteryMonitor::healthStatusText(info.healthPercent), c.health);
        EXPECT_EQ(BatteryMonitor::timeRemainingTextOf(info), c.time);
    }
    EXPECT_EQ(readFixture("no-battery"), BatteryInfo{});
    EXPECT_EQ(readFixture("no-such-tree"), BatteryInfo{});
}

TEST(BatteryMonitor, levelAndPowerSourceFollowTheDescription)
{
    struct Case {
        std::optional<int64_t> current, max;
        std::optional<QString> state;
        int64_t level;
        const char* source;
    };
    const Case cases[] = {
        {57, 100, QStringLiteral("AC Power"), 57, "AC Power"},
        {2635, 4623, QStringLiteral("Battery Power"), 56, "Battery"},
        {33, 0, std::nullopt, 33, "Battery"},
        {std::nullopt, std::nullopt, QStringLiteral("ac power"), -1, "Battery"},
        {std::numeric_limits<int64_t>::max(), 100, QStringLiteral("AC Power"), std::numeric_limits<int64_t>::max(), "AC Power"},
    };
    for (const Case& c : cases) {
        PowerSupplyReading reading;
        reading.source = PowerSourceDescription{c.current, c.max, {}, {}, c.state, {}, {}};
        const BatteryInfo info = BatteryMonitor::readPowerSource(reading);
        EXPECT_EQ(info.level, c.level);
        EXPECT_EQ(info.powerSource, c.source);
        // No battery entry: zeros and full health.
        EXPECT_EQ(info.healthPercent, 100.0);
        EXPECT_EQ(info.cycleCount, 0);
    }
}

TEST(BatteryMonitor, healthColourAndTimeTexts)
{
    const std::pair<double, const char*> health[] = {
        {100, "Excellent"}, {90, "Excellent"}, {89.99, "Good"}, {80, "Good"}, {79.9, "Fair"}, {70, "Fair"},
        {69.9, "Service Recommended"}, {50, "Service Recommended"}, {49.9, "Replace Soon"}, {100.5, "Replace Soon"}};
    for (const auto& [h, text] : health) EXPECT_EQ(BatteryMonitor::healthStatusText(h), text) << h;

    using C = BatteryMonitor::HealthColor;
    const std::pair<double, C> colours[] = {{100, C::green}, {80, C::green}, {79.9, C::yellow}, {60, C::yellow},
                                            {59.9, C::red},  {0, C::red},    {100.5, C::red}};
    for (const auto& [h, colour] : colours) EXPECT_EQ(BatteryMonitor::healthColorOf(h), colour) << h;

    struct TimeCase {
        std::optional<int64_t> minutes;
        bool charging, full;
        const char* text;
    };
    const TimeCase times[] = {
        {60, false, false, "1h 0m remaining"}, {125, false, false, "2h 5m remaining"}, {45, true, false, "45m to full"},
        {1, true, false, "1m to full"},        {-1, true, false, "Calculating..."},    {-1, true, true, "Fully Charged"},
        {0, false, false, "Calculating..."},   {std::nullopt, false, true, "Fully Charged"}};
    for (const TimeCase& t : times) {
        BatteryInfo info;
        info.timeRemaining = t.minutes;
        info.isCharging = t.charging;
        info.isFullyCharged = t.full;
        EXPECT_EQ(BatteryMonitor::timeRemainingTextOf(info), t.text);
    }
}

TEST(BatteryMonitor, readsAtOnceThenEveryThirtySecondsAndKeepsTheLast500Points)
{
    ManualClock clock;
    ManualScheduler scheduler(clock);
    InlineExecutor inline_;
    FixtureTree tree("sys/power_supply/discharging");
    SysfsPowerSupplyReader reader(tree.path());
    BatteryMonitor monitor(reader, inline_, clock, scheduler);

    monitor.start();
    QCoreApplication::processEvents();
    ASSERT_TRUE(monitor.isAvailable());
    ASSERT_EQ(monitor.batteryHistory().size(), 1);
    EXPECT_EQ(monitor.batteryLevel(), 82);
    EXPECT_FALSE(monitor.isCharging());

    scheduler.advance(29s);
    QCoreApplication::processEvents();
    EXPECT_EQ(monitor.batteryHistory().size(), 1);

    tree.write("BAT0/capacity", "81\n");
    for (int i = 0; i < 500; ++i) {
        scheduler.advance(30s);
        QCoreApplication::processEvents();
    }
    const QList<BatteryDataPoint>& history = monitor.batteryHistory();
    ASSERT_EQ(history.size(), 500);
    EXPECT_EQ(history.first().level, 81);  // the first reading (82) was dropped
    EXPECT_EQ(history.last().timestamp, clock.now());  // stamped when published
    EXPECT_LT(history.first().timestamp, history.last().timestamp);

    // Shutdown cancels the timer; the published values stay.
    monitor.stop();
    EXPECT_FALSE(monitor.timer());
    scheduler.advance(300s);
    QCoreApplication::processEvents();
    EXPECT_EQ(monitor.batteryHistory().size(), 500);
    EXPECT_EQ(monitor.batteryInfo().level, 81);
}

TEST(BatteryMonitor, machineWithoutBatteryStaysUnavailableWithNoHistory)
{
    ManualClock clock;
    ManualScheduler scheduler(clock);
    InlineExecutor inline_;
    SysfsPowerSupplyReader reader(fixturePath("sys/power_supply/no-battery"));
    BatteryMonitor monitor(reader, inline_, clock, scheduler);
    QSignalSpy changed(&monitor, &BatteryMonitor::changed);

    monitor.startMonitoring();
    scheduler.advance(90s);
    QCoreApplication::processEvents();
    EXPECT_EQ(changed.count(), 4);
    EXPECT_FALSE(monitor.isAvailable());
    EXPECT_EQ(monitor.batteryInfo().powerSource, "Unknown");
    EXPECT_EQ(monitor.batteryLevel(), -1);
    EXPECT_TRUE(monitor.batteryHistory().isEmpty());
}

TEST(BatteryMonitor, readingRunsOffTheMainThreadAndPublishesOnIt)
{
    ManualClock clock;
    ManualScheduler scheduler(clock);
    SerialQueue worker(QStringLiteral("battery-test"));
    SysfsPowerSupplyReader reader(fixturePath("sys/power_supply/charging"));
    BatteryMonitor monitor(reader, worker, clock, scheduler);
    QSignalSpy changed(&monitor, &BatteryMonitor::changed);

    monitor.refresh();
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_EQ(monitor.batteryInfo().level, 57);
    EXPECT_EQ(monitor.timeRemainingText(), "1h 15m to full");
    EXPECT_EQ(monitor.healthStatus(), "Excellent");
    EXPECT_EQ(monitor.healthColor(), BatteryMonitor::HealthColor::green);
}

TEST(BatteryMonitor, figuresTooLargeToScaleAreNoReadingNotAnOverflow)
{
    const struct {
        const char* temp;
        const char* powerNow;
        const char* voltageNow;
        std::optional<int64_t> temperature;  // hundredths of a degree
        std::optional<int64_t> amperage;     // mA
    } cases[] = {
        {"9223372036854775807\n", "9223372036854775807\n", "1\n", std::nullopt, std::nullopt},
        {"-9223372036854775808\n", "-9223372036854775808\n", "1\n", std::nullopt, std::nullopt},
        {"922337203685477580\n", "9000000\n", "12000000\n", 9223372036854775800, -750},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.temp);
        FixtureTree tree("sys/power_supply/discharging");
        tree.write("BAT0/temp", c.temp);
        tree.write("BAT0/current_now", "");
        tree.write("BAT0/power_now", c.powerNow);
        tree.write("BAT0/voltage_now", c.voltageNow);
        const PowerSupplyReading reading = SysfsPowerSupplyReader(tree.path()).read();
        ASSERT_TRUE(reading.battery);
        EXPECT_EQ(reading.battery->temperature, c.temperature);
        EXPECT_EQ(reading.battery->amperage, c.amperage);
    }
}
