// Leak detection, the disk / pressure / thermal forecasts and the pre-emptive relief.
#include "LearningRig.h"

#include "actions/ActionGate.h"
#include "actions/EpitopeLibrary.h"
#include "actions/MemoryReliefAction.h"
#include "actions/OutcomeHarness.h"
#include "actions/ReversibleShell.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <unistd.h>

using namespace learning;
using namespace std::chrono_literals;

TEST(AIEngineLeaks, SteadyClimbsAreLeaksAndNoiseIsNot)
{
    const struct {
        const char* name;
        int readings;
        std::function<double(int)> memoryAt;  // MB at minute i
        bool leak;
    } cases[] = {
        {"linear 60 MB/h, 19 readings", 19, [](int i) { return 300.0 + i; }, false},
        {"linear 60 MB/h, 20 readings", 20, [](int i) { return 300.0 + i; }, true},
        {"linear 50 MB/h", 40, [](int i) { return 300.0 + i * 50.0 / 60.0; }, false},
        {"flat", 40, [](int) { return 300.0; }, false},
        {"noise", 120, [](int i) { return 300.0 + 40.0 * std::sin(i * 1.7) + 25.0 * std::cos(i * 0.37); }, false},
        {"noisy climb 60 MB/h", 60, [](int i) { return 300.0 + i + 4.0 * std::sin(i * 1.3); }, true},
    };
    for (const auto& c : cases) {
        EngineRig rig;
        for (int i = 0; i < c.readings; ++i) {
            rig.feed(snap(10), {proc(42, "leaky", 1, c.memoryAt(i))});
            rig.clock.advance(60s);
        }
        rig.settle();
        const QList<MemoryLeak> leaks = rig.rule([](AIEngine& e) {
            return e.detectMemoryLeaks({proc(42, "leaky-renamed", 1, 0)});
        });
        ASSERT_EQ(leaks.size(), c.leak ? 1 : 0) << c.name;
        if (!c.leak) continue;
        EXPECT_EQ(leaks[0].processName, QStringLiteral("leaky-renamed")) << "the current name";
        EXPECT_EQ(leaks[0].pid, 42);
        EXPECT_NEAR(leaks[0].growthRateMBPerHour, 60, 1.5) << c.name;
        EXPECT_GT(leaks[0].confidence, 0.7) << c.name;
        EXPECT_DOUBLE_EQ(leaks[0].startMemoryMB, c.memoryAt(0));
        EXPECT_DOUBLE_EQ(leaks[0].currentMemoryMB, c.memoryAt(c.readings - 1));
    }
}

TEST(AIEngineLeaks, TheRulePassPublishesConfidentLeaksSortedByGrowth)
{
    EngineRig rig;
    for (int i = 0; i < 24; ++i) {
        rig.feed(snap(10), {proc(1, "slow", 1, 200 + i), proc(2, "fast", 1, 400 + 3.0 * i)});
        rig.clock.advance(60s);
    }
    rig.settle();
    const QList<MemoryLeak>& leaks = rig.engine->detectedLeaks();
    ASSERT_EQ(leaks.size(), 2);
    EXPECT_EQ(leaks[0].processName, QStringLiteral("fast"));
    EXPECT_NEAR(leaks[0].growthRateMBPerHour, 180, 1e-6);
    EXPECT_EQ(leaks[1].processName, QStringLiteral("slow"));
    QStringList titles;
    for (const AIInsight& i : rig.engine->insights()) titles << i.title;
    EXPECT_TRUE(titles.contains(QStringLiteral("Memory leak: fast")));
    const auto it = std::find_if(rig.engine->insights().begin(), rig.engine->insights().end(),
                                 [](const AIInsight& i) { return i.title == QStringLiteral("Memory leak: fast"); });
    EXPECT_EQ(it->detail, QStringLiteral("Growing at 180 MB/hr. Currently 469 MB. Consider restarting."));
    EXPECT_EQ(it->type, AIInsight::InsightType::memoryLeak);
    EXPECT_EQ(it->severity, AIInsight::Severity::warning);
}

TEST(AIEngineForecast, DiskFullAtItsThresholds)
{
    const QDateTime earlier(QDate(2020, 1, 1), QTime(0, 0), QTimeZone::utc());
    const struct {
        int entries;
        int spacing;  // seconds between readings
        double bytesPerSecond;
        double daysLeft;
        std::optional<AIInsight::Severity> severity;
        const char* days;       // whole days in the detail
        int published;          // 0 unchanged, 1 set, -1 cleared
    } cases[] = {
        {19, 1200, 1000, 2.5, std::nullopt, "", 0},
        // A steep rise over minutes, or over just under six hours, forecasts nothing yet.
        {20, 30, 1000, 2.5, std::nullopt, "", 0},
        {100, 218, 1000, 2.5, std::nullopt, "", 0},
        {91, 240, 1000, 2.5, AIInsight::Severity::critical, "2", 1},  // exactly six hours
        {20, 1200, -1000, 2.5, std::nullopt, "", -1},
        {20, 1200, 0, 2.5, std::nullopt, "", -1},
        {20, 1200, 1000, 30.0, std::nullopt, "", -1},
        {20, 1200, 1000, 29.5, AIInsight::Severity::info, "29", 1},
        {20, 1200, 1000, 6.9, AIInsight::Severity::warning, "6", 1},
        {20, 1200, 1000, 2.5, AIInsight::Severity::critical, "2", 1},
    };
    for (const auto& c : cases) {
        EngineRig rig;
        rig.engine->setPredictedDiskFullDate(earlier);
        const QDateTime now = rig.clock.now();
        const double lastUsed = 1e12;
        const uint64_t total = uint64_t(lastUsed + c.daysLeft * 86400 * c.bytesPerSecond);
        rig.withState([&](AIEngine::LearningState& s) {
            for (int i = 0; i < c.entries; ++i) {
                const int back = c.entries - 1 - i;
                s.diskGrowthHistory.append(
                    {now.addSecs(-qint64(c.spacing) * back), uint64_t(lastUsed - double(back) * c.spacing * c.bytesPerSecond)});
            }
            s.lastDiskTotal = c.bytesPerSecond > 0 ? total : uint64_t(2e12);
        });
        const auto insight = rig.rule([](AIEngine& e) { return e.predictDiskFull(); });
        rig.main.drain();
        ASSERT_EQ(insight.has_value(), c.severity.has_value()) << c.daysLeft << " " << c.entries << " " << c.spacing;
        if (c.published == 0) {
            EXPECT_EQ(rig.engine->predictedDiskFullDate(), earlier);
        } else if (c.published < 0) {
            EXPECT_FALSE(rig.engine->predictedDiskFullDate());
        }
        if (!insight) continue;
        EXPECT_EQ(insight->severity, *c.severity);
        EXPECT_EQ(insight->title, QStringLiteral("Disk space prediction"));
        const QDateTime full = now.addMSecs(qint64(c.daysLeft * 86400 * 1000));
        ASSERT_TRUE(rig.engine->predictedDiskFullDate());
        EXPECT_LE(std::abs(rig.engine->predictedDiskFullDate()->secsTo(full)), 2);
        EXPECT_TRUE(insight->detail.startsWith(QStringLiteral("At current usage rate, your disk will be full in ") +
                                               QString::fromUtf8(c.days) + QStringLiteral(" days (")))
            << insight->detail.toStdString();
        EXPECT_TRUE(insight->detail.endsWith(QString::number(full.toLocalTime().date().year()) + QStringLiteral(").")));
    }
}

TEST(AIEngineForecast, MemoryPressureTrend)
{
    const struct {
        int entries;
        double current;
        double minutesTo90;  // at the rising rate
        const char* detailMinutes;
        std::optional<AIInsight::Severity> severity;
        int published;
    } cases[] = {
        {29, 80, 5.5, "", std::nullopt, 0},
        {30, 90, 5.5, "", std::nullopt, 0},  // at 90 % already: the old date stays
        {30, 60, 61, "", std::nullopt, -1},
        {30, 80, 5.5, "5", AIInsight::Severity::warning, 1},
        {30, 60, 30, "30", AIInsight::Severity::info, 1},
    };
    for (const auto& c : cases) {
        EngineRig rig;
        const QDateTime now = rig.clock.now();
        const double perSecond = (90 - c.current) > 0 ? (90 - c.current) / (c.minutesTo90 * 60) : 0.01;
        rig.withState([&](AIEngine::LearningState& s) {
            for (int i = 0; i < c.entries; ++i) {
                const int back = c.entries - 1 - i;
                s.memoryPressureHistory.append({now.addSecs(-10 * back), c.current - back * 10 * perSecond});
            }
        });
        const QDateTime earlier = now.addDays(-1);
        rig.withState([&](AIEngine::LearningState& s) { s.predictedMemoryPressureSpike = earlier; });
        const auto insight = rig.rule([](AIEngine& e) { return e.predictMemoryPressure(); });
        rig.main.drain();
        ASSERT_EQ(insight.has_value(), c.severity.has_value()) << c.current << " " << c.minutesTo90;
        const auto kept = rig.onQueue([](AIEngine::LearningState& s) { return s.predictedMemoryPressureSpike; });
        if (c.published == 0) {
            EXPECT_EQ(kept, earlier) << "left as it was";
        } else if (c.published < 0) {
            EXPECT_FALSE(kept);
            EXPECT_FALSE(rig.engine->predictedMemoryPressureSpike());
        }
        if (!insight) continue;
        EXPECT_EQ(insight->title, QStringLiteral("Memory pressure rising"));
        EXPECT_EQ(insight->detail, QStringLiteral("Trend predicts memory pressure will hit 90% in ~") +
                                       QString::fromUtf8(c.detailMinutes) +
                                       QStringLiteral(" min. Consider freeing memory now."));
        EXPECT_EQ(insight->severity, *c.severity);
        ASSERT_TRUE(rig.engine->predictedMemoryPressureSpike());
        EXPECT_LE(std::abs(rig.engine->predictedMemoryPressureSpike()->secsTo(now.addSecs(qint64(c.minutesTo90 * 60)))), 1);
    }
}

TEST(AIEngineForecast, ThermalThrottling)
{
    const struct {
        int readings;
        double current;
        double perMinute;
        bool fahrenheit;
        const char* detail;
        std::optional<AIInsight::Severity> severity;
    } cases[] = {
        {11, 94, 1, false, "", std::nullopt},
        {12, 95, 1, false, "", std::nullopt},
        {12, 80, -1, false, "", std::nullopt},
        {30, 80, 0.5, false, "", std::nullopt},  // 30 minutes away
        {12, 94, 1, false,
         "At the current warming rate (now 94\u00B0C), your computer will hit thermal throttling in ~1 min. Close a heavy "
         "app or improve airflow to stay at full speed.",
         AIInsight::Severity::warning},
        {40, 85, 1, true,
         "At the current warming rate (now 185\u00B0F), your computer will hit thermal throttling in ~10 min. Close a "
         "heavy app or improve airflow to stay at full speed.",
         AIInsight::Severity::info},
    };
    for (const auto& c : cases) {
        EngineRig rig;
        const double t = double(rig.clock.now().toMSecsSinceEpoch()) / 1000.0;
        rig.withState([&](AIEngine::LearningState& s) {
            for (int i = 0; i < c.readings; ++i) {
                const int back = c.readings - 1 - i;
                s.thermalHistory.append({t - back * 10, c.current - back * 10 * c.perMinute / 60});
            }
        });
        AIEngine::IngestContext context;
        context.fahrenheit = c.fahrenheit;
        const auto insight = rig.rule([](AIEngine& e) { return e.predictThermalThrottling(); }, context);
        ASSERT_EQ(insight.has_value(), c.severity.has_value()) << c.readings << " " << c.current;
        if (!insight) continue;
        EXPECT_EQ(insight->title, QStringLiteral("Throttling predicted"));
        EXPECT_EQ(insight->type, AIInsight::InsightType::thermalPrediction);
        EXPECT_EQ(insight->detail, QString::fromUtf8(c.detail));
        EXPECT_EQ(insight->severity, *c.severity);
    }
}

TEST(AIEngineRelief, FiresBeforeASpikeAtMostOnceInTenMinutes)
{
    EngineRig rig;
    // The largest are this application, the session's bus and its notification daemon: never
    // picked.
    const QList<ProcessInfoItem> list = {proc(1, "small", 1, 100),  proc(2, "huge", 1, 4000, true),
                                         proc(3, "big", 1, 3000),   proc(4, "bigger", 1, 3500),
                                         proc(5, "medium", 1, 900), proc(6, "tiny", 1, 50),
                                         proc(int32_t(getpid()), "veltranmoor", 1, 9000),
                                         proc(7, "dbus-daemon", 1, 8000), proc(8, "dbus-broker-lau", 1, 8000),
                                         proc(9, "mako", 1, 7000)};
    rig.sessionServices = {9};
    rig.control.failing = {5};
    auto spikeIn = [&](std::chrono::seconds s) {
        const QDateTime at = rig.clock.now().addSecs(s.count());
        rig.withState([&](AIEngine::LearningState& st) { st.predictedMemoryPressureSpike = at; });
    };
    auto fire = [&](bool enabled = true) {
        AIEngine::IngestContext context;
        context.preemptiveReliefEnabled = enabled;
        auto insight = rig.rule([&](AIEngine& e) { return e.firePreemptiveRelief(list); }, context);
        rig.main.drain();
        return insight;
    };

    spikeIn(300s);
    EXPECT_FALSE(fire(false)) << "the setting is off";
    spikeIn(600s);
    EXPECT_FALSE(fire()) << "600 s away is too far";
    spikeIn(-1s);
    EXPECT_FALSE(fire()) << "a spike in the past";
    EXPECT_EQ(rig.reliefRuns, 0);

    spikeIn(359s);
    const auto first = fire();
    ASSERT_TRUE(first);
    EXPECT_EQ(rig.reliefRuns, 1) << "the gated relief action ran on the main thread";
    EXPECT_EQ(rig.control.lowered, (QList<int32_t>{4, 3})) << "the three largest unprotected";
    EXPECT_EQ(rig.ledger.recorded, (QStringList{QStringLiteral("bigger"), QStringLiteral("big")}))
        << "a failed change counts no incident";
    // Only the processes it changed are named.
    const QString detail = QStringLiteral("Pre-emptive memory relief fired \u2014 throttled bigger, big. "
                                          "Predicted spike in ~5 min. \u2014 1 process could not be changed.");
    EXPECT_EQ(first->detail, detail);
    EXPECT_EQ(first->title, QStringLiteral("Memory relief fired pre-emptively"));
    EXPECT_FALSE(first->actionable);
    ASSERT_EQ(rig.monitor.actions.size(), 1);
    EXPECT_EQ(rig.monitor.actions[0].action, ActionType::memoryFreed);
    EXPECT_EQ(rig.monitor.actions[0].target, QStringLiteral("Pre-emptive Relief"));
    EXPECT_EQ(rig.monitor.actions[0].detail, detail);
    EXPECT_TRUE(rig.monitor.actions[0].wasAutomatic);

    rig.clock.advance(599s);
    spikeIn(120s);
    EXPECT_FALSE(fire()) << "cooldown";
    EXPECT_EQ(rig.reliefRuns, 1);
    rig.clock.advance(1s);
    spikeIn(120s);
    EXPECT_TRUE(fire());
    EXPECT_EQ(rig.reliefRuns, 2);

    // Nothing unprotected: the short form.
    rig.clock.advance(600s);
    spikeIn(120s);
    const auto bare = rig.rule([&](AIEngine& e) { return e.firePreemptiveRelief({proc(2, "huge", 1, 4000, true)}); });
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->detail, QStringLiteral("Pre-emptive memory relief fired \u2014 predicted spike in ~2 min."));
}

TEST(AIEngineRelief, ASampleStreamRunsTheGatedReliefOnceWithinItsCooldown)
{
    EngineRig rig;
    ManualScheduler scheduler{rig.clock};
    ActionGate gate{rig.defaults, rig.clock};
    EpitopeLibrary library{rig.clock, rig.aiDir()};
    ReversibleShell shell{gate, scheduler};
    OutcomeHarness harness{rig.monitor, scheduler, rig.clock};
    MemoryReliefAction relief{harness, gate, shell, library, [] { return QStringLiteral("relieved"); }};
    rig.onRelief = [&] { relief.run(); };

    // Pressure climbs 0.6 points a minute from 82 %: from the 30th sample on every pass
    // forecasts 90 % within ten minutes, for the next 9 minutes.
    for (int i = 0; i < 84; ++i) {
        rig.feed(snap(20, 82 + i * 0.1), {proc(7, "big", 1, 3000), proc(1, "init", 1, 5000)});
        rig.clock.advance(10s);
        rig.settle();
    }
    EXPECT_EQ(rig.reliefRuns, 1);
    ASSERT_EQ(gate.ledger().size(), 1);
    EXPECT_EQ(gate.ledger().first().title, QStringLiteral("Relieve memory pressure"));
    EXPECT_EQ(gate.ledger().first().outcome, QStringLiteral("relieved"));
    EXPECT_EQ(rig.control.lowered, QList<int32_t>{7}) << "pid 1 is never acted on";
    ASSERT_EQ(rig.monitor.actions.size(), 1);
    EXPECT_EQ(rig.monitor.actions[0].target, QStringLiteral("Pre-emptive Relief"));
    int reliefInsights = 0;
    for (const AIInsight& i : rig.engine->insights()) reliefInsights += i.title == QStringLiteral("Memory relief fired pre-emptively");
    EXPECT_EQ(reliefInsights, 1);
    EXPECT_TRUE(rig.engine->predictedMemoryPressureSpike());
}
