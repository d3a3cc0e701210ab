// Ingestion, baselines, the rule-pass and save cadence, verdicts and throttle audits.
#include "LearningRig.h"

#include "core/Json.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <cmath>

using namespace learning;
using namespace std::chrono_literals;

namespace {

int hourNow(const EngineRig& rig) { return rig.clock.now().toLocalTime().time().hour(); }

}  // namespace

TEST(AIEngineIngest, RulePassEverySixthSampleAndSaveEveryThirtieth)
{
    EngineRig rig;
    const QString baselines = QDir(rig.aiDir()).filePath(QStringLiteral("process_baselines.json"));
    for (int i = 1; i <= 31; ++i) {
        rig.feed(snap(10), {proc(7, "worker", 5, 20)});
        rig.settle();
        const bool published = rig.engine->systemPersonality() != QStringLiteral("Learning...");
        EXPECT_EQ(published, i >= 6) << i;
        EXPECT_EQ(QFileInfo::exists(baselines), i >= 30) << i;
        if (i == 29 || i == 30) {
            EXPECT_EQ(rig.engine->processBaselineCount(), 1) << "published with the pass";
        }
        rig.clock.advance(10s);
    }
    // The 30th ran the pass first (it published), then saved: the file holds 30 samples.
    const auto saved = AIRecordsJson::decodeBaselines(*Json::readFile(baselines));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->value(QStringLiteral("worker")).sampleCount, 30);
    EXPECT_FALSE(QFileInfo::exists(baselines + QStringLiteral(".tmp")));
}

TEST(AIEngineIngest, BaselineArithmeticAndHourlyAverages)
{
    EngineRig rig;
    const int hour = hourNow(rig);
    // Only cpu > 0.5 or memory > 10 counts; exactly at both is no update.
    rig.feed(snap(10), {proc(1, "edge", 0.5, 10), proc(2, "app", 10, 100)});
    rig.feed(snap(10), {proc(2, "app", 20, 200)});
    rig.settle();
    auto b = rig.engine->baselineFor(QStringLiteral("app"));
    ASSERT_TRUE(b);
    EXPECT_FALSE(rig.engine->baselineFor(QStringLiteral("edge")));
    EXPECT_EQ(b->sampleCount, 2);
    EXPECT_DOUBLE_EQ(b->avgCPU, 15);
    EXPECT_DOUBLE_EQ(b->stdDevCPU, 0) << "the first two samples' spread is not counted";
    EXPECT_DOUBLE_EQ(b->avgMemoryMB, 150);
    EXPECT_DOUBLE_EQ(b->maxMemoryMB, 200);
    EXPECT_DOUBLE_EQ(b->hourlyAvgCPU.value(hour), 20) << "the latest reading until 24 samples";

    // Third: variance = (0 * 1 + (x - old mean)(x - new mean)) / 2 = (30 - 15)(30 - 20) / 2 = 75.
    rig.feed(snap(10), {proc(2, "app", 30, 150)});
    rig.settle();
    b = rig.engine->baselineFor(QStringLiteral("app"));
    EXPECT_DOUBLE_EQ(b->avgCPU, 20);
    EXPECT_DOUBLE_EQ(b->stdDevCPU, std::sqrt(75.0));
    EXPECT_DOUBLE_EQ(b->maxCPU, 30);

    // Two processes of one name share one baseline; past 24 samples the hour is a moving
    // average with weight 1/w, w = n / 24.
    for (int i = 3; i < 24; ++i) rig.feed(snap(10), {proc(2, "app", 30, 150)});
    rig.feed(snap(10), {proc(2, "app", 30, 150), proc(3, "app", 78, 150)});
    rig.settle();
    b = rig.engine->baselineFor(QStringLiteral("app"));
    EXPECT_EQ(b->sampleCount, 26);
    const double w = 26.0 / 24.0;
    EXPECT_NEAR(b->hourlyAvgCPU.value(hour), (78 + (w - 1) * 30) / w, 1e-9);
}

TEST(AIEngineIngest, CollectionsStayWithinTheirBounds)
{
    EngineRig rig;
    PerformanceSnapshot hot = snap(10);
    hot.cpuTempC = 60;
    // Readings land 1 s apart but the clock stays inside one hour.
    for (int i = 0; i < 1001; ++i) {
        rig.feed(hot, {proc(5, "big", 1, i == 0 ? 50 : 60)});
        rig.clock.advance(1s);
    }
    rig.settle();
    // 1001 samples 1 s apart stay inside one hour of the day.
    EXPECT_EQ(rig.onQueue([](auto& s) { return s.hourlySnapshots.size(); }), 1);
    EXPECT_EQ(rig.onQueue([](auto& s) { return s.hourlySnapshots.first().size(); }), 200);
    EXPECT_EQ(rig.onQueue([](auto& s) { return s.memoryTracker.value(5).size(); }), 120)
        << "a 50 MB reading is not tracked; the last 120 stay";
    // Disk readings are kept one per four minutes: 0 s, 240 s, ... 960 s of the 1000 s.
    EXPECT_EQ(rig.onQueue([](auto& s) { return s.diskGrowthHistory.size(); }), 5);
    EXPECT_EQ(rig.onQueue([](auto& s) { return s.memoryPressureHistory.size(); }), 500);
    // The 401st pair leaves 200, at the 401st, 602nd and 803rd; 198 more follow.
    EXPECT_EQ(rig.onQueue([](auto& s) { return s.thermalHistory.size(); }), 398);
}

TEST(AIEngineIngest, AProcessThatLeavesLosesItsSeriesAndAudit)
{
    EngineRig rig;
    rig.feed(snap(10), {proc(5, "big", 90, 400), proc(6, "other", 1, 400)});
    rig.engine->throttleSucceeded(proc(5, "big", 90, 400));
    rig.feed(snap(10), {proc(6, "other", 1, 400)});
    rig.settle();
    EXPECT_FALSE(rig.onQueue([](auto& s) { return s.memoryTracker.contains(5); }));
    EXPECT_TRUE(rig.onQueue([](auto& s) { return s.memoryTracker.contains(6); }));
    EXPECT_TRUE(rig.onQueue([](auto& s) { return s.pendingThrottleAudits.isEmpty(); }));
    rig.engine->throttleSucceeded(proc(6, "other", 90, 400));
    rig.feed(snap(10), {});
    rig.settle();
    EXPECT_TRUE(rig.onQueue([](auto& s) { return s.memoryTracker.isEmpty() && s.pendingThrottleAudits.isEmpty(); }))
        << "an empty list clears both";
}

TEST(AIEngineVerdict, EveryRowOfTheTable)
{
    EngineRig rig;  // cpuThreshold 80
    auto baseline = [&](const char* name, double avg, double sd, double max, int64_t count) {
        rig.withState([&](AIEngine::LearningState& s) {
            s.baselinesInternal.insert(QString::fromUtf8(name), ProcessBaseline{.processName = QString::fromUtf8(name),
                                                                               .avgCPU = avg,
                                                                               .maxCPU = max,
                                                                               .stdDevCPU = sd,
                                                                               .sampleCount = count});
        });
    };
    baseline("peaky", 20, 5, 80, 50);     // max exactly 80: judged by the threshold
    baseline("young", 20, 5, 95, 20);     // 20 samples: judged by the threshold
    baseline("learned", 30, 5, 95, 21);   // trusted: bound = 30 + 3 * max(5, 10) = 60
    baseline("calm", 5, 2, 95, 100);      // bound 35, but 60 is not above 60
    const struct {
        ProcessInfoItem process;
        const char* reason;
        bool leaveAlone;
    } rows[] = {
        {proc(1, "peaky", 99, 0, true), "Protected process", true},
        {proc(2, "newcomer", 81), "Exceeds threshold (no baseline yet)", false},
        {proc(3, "newcomer", 80), "Within threshold", true},
        {proc(4, "peaky", 81), "Exceeds CPU threshold", false},
        {proc(5, "young", 79), "Within normal range", true},
        {proc(6, "learned", 61), "Anomalous CPU: 61% vs baseline 30%", false},
        {proc(7, "learned", 60), "High but within learned pattern", true},
        {proc(8, "calm", 60), "High but within learned pattern", true},
        {proc(9, "calm", 60.4), "Anomalous CPU: 60% vs baseline 5%", false},
    };
    for (const auto& row : rows) {
        const ThrottleVerdict v = rig.engine->judgeProcessCPU(row.process);
        EXPECT_EQ(v.reason, QString::fromUtf8(row.reason)) << row.process.pid;
        EXPECT_EQ(v.leaveAlone, row.leaveAlone) << row.process.pid;
    }
    // A verdict schedules nothing by itself: audits wait for a throttle that took effect.
    EXPECT_TRUE(rig.onQueue([](auto& s) { return s.pendingThrottleAudits.isEmpty(); }));
}

TEST(AIEngineAudit, JudgedBetweenThirtyAndNinetySecondsAfterTheThrottle)
{
    const struct {
        std::chrono::milliseconds after;
        double preCPU;
        double nowCPU;
        bool present;
        int64_t attempts;
        int64_t successes;
    } cases[] = {
        {29'900ms, 100, 10, true, 0, 0},  // still pending (and dropped later when the pid goes)
        {30s, 100, 69, true, 1, 1},       // 69 < 70
        {90s, 100, 70, true, 1, 0},
        {90'500ms, 100, 10, true, 0, 0},  // too late: dropped uncounted
        {45s, 60, 49.9, true, 1, 1},      // floor of 50
        {45s, 60, 50, true, 1, 0},
        {45s, 100, 10, false, 0, 0},      // gone: dropped uncounted
    };
    for (const auto& c : cases) {
        EngineRig rig;
        rig.engine->throttleSucceeded(proc(9, "spinner", c.preCPU));
        rig.clock.advance(c.after);
        QList<ProcessInfoItem> list = {proc(1, "bystander", 1)};
        if (c.present) list.append(proc(9, "spinner", c.nowCPU));
        rig.feed(snap(10), list);
        rig.settle();
        const ThrottleStats stats =
            rig.onQueue([](auto& s) { return s.throttleEffectiveness.value(QStringLiteral("spinner")); });
        EXPECT_EQ(stats.attempts, c.attempts) << c.after.count();
        EXPECT_EQ(stats.successes, c.successes) << c.after.count();
        const bool pending = rig.onQueue([](auto& s) { return s.pendingThrottleAudits.contains(9); });
        EXPECT_EQ(pending, c.after < 30s && c.present) << c.after.count();
    }
}
