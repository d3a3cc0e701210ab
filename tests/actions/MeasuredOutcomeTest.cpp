#include "actions/OutcomeHarness.h"
#include "core/AppSettings.h"
#include "core/UserDefaults.h"
#include "support/FakeMonitorState.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr uint64_t GiB = 1ull << 30;

PerformanceSnapshot snapshot(double memUsed, double pressure, double cpu, uint64_t diskUsed, std::optional<double> temp)
{
    PerformanceSnapshot s;
    s.memoryUsed = memUsed;
    s.memoryTotal = 16;
    s.memoryPressure = pressure;
    s.cpuUsage = cpu;
    s.diskUsed = diskUsed;
    s.diskTotal = 500 * GiB;
    s.cpuTempC = temp;
    return s;
}

struct Rig {
    FakeMonitorState monitor;
    ManualClock clock;
    ManualScheduler scheduler{clock};
    OutcomeHarness harness{monitor, scheduler, clock};
};

}  // namespace

TEST(OutcomeMetric, TableOfFigures)
{
    struct Row {
        OutcomeMetric metric;
        const char* raw;
        double threshold;
        long long settleNs;
        const char* unit;
    };
    const Row rows[] = {
        {OutcomeMetric::memFreedMB, "memFreedMB", 150, 1'200'000'000, "MB"},
        {OutcomeMetric::memPressureDrop, "memPressureDrop", 8, 1'200'000'000, "pts"},
        {OutcomeMetric::tempDropC, "tempDropC", 1.5, 2'500'000'000, "\u00B0C"},
        {OutcomeMetric::diskFreedGB, "diskFreedGB", 0.25, 800'000'000, "GB"},
        {OutcomeMetric::cpuDrop, "cpuDrop", 5, 1'500'000'000, "%"},
    };
    ASSERT_EQ(std::size(rows), allOutcomeMetrics.size());
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& r = rows[i];
        EXPECT_EQ(allOutcomeMetrics[i], r.metric);
        EXPECT_EQ(rawValue(r.metric), QString::fromUtf8(r.raw));
        EXPECT_EQ(outcomeMetricFromRaw(QString::fromUtf8(r.raw)), r.metric);
        EXPECT_EQ(successThreshold(r.metric), r.threshold);
        EXPECT_EQ(settleDelay(r.metric).count(), r.settleNs);
        EXPECT_EQ(unitWord(r.metric), QString::fromUtf8(r.unit));
    }
    for (const char* bad : {"memfreedMB", "", "cpu"}) EXPECT_FALSE(outcomeMetricFromRaw(QString::fromUtf8(bad))) << bad;
}

TEST(OutcomeHarness, MeasuresWhatTheSamplerPublishesDuringTheSettleDelay)
{
    struct Row {
        OutcomeMetric metric;
        PerformanceSnapshot before, after;
        double expectBefore, expectAfter, expectDelta;
        const char* deltaText;
    };
    const Row rows[] = {
        {OutcomeMetric::memFreedMB, snapshot(8.0, 60, 30, 100 * GiB, 60), snapshot(7.75, 60, 30, 100 * GiB, 60), 8.0,
         7.75, 256, "+256 MB"},
        {OutcomeMetric::memPressureDrop, snapshot(8, 62, 30, 100 * GiB, 60), snapshot(8, 50, 30, 100 * GiB, 60), 62, 50,
         12, "+12 pts"},
        {OutcomeMetric::tempDropC, snapshot(8, 60, 30, 100 * GiB, 71.5), snapshot(8, 60, 30, 100 * GiB, 72.26), 71.5,
         72.26, 71.5 - 72.26, "\u22120.8 \u00B0C"},
        {OutcomeMetric::diskFreedGB, snapshot(8, 60, 30, 100 * GiB, 60), snapshot(8, 60, 30, 98 * GiB, 60), 400, 402, 2,
         "+2.0 GB"},
        {OutcomeMetric::diskFreedGB, snapshot(8, 60, 30, 100 * GiB, 60), snapshot(8, 60, 30, 100 * GiB + GiB / 2, 60),
         400, 399.5, -0.5, "\u22120.5 GB"},
        {OutcomeMetric::cpuDrop, snapshot(8, 60, 35, 100 * GiB, 60), snapshot(8, 60, 20, 100 * GiB, 60), 35, 20, 15,
         "+15 %"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(rawValue(row.metric).toStdString());
        Rig rig;
        rig.monitor.snapshot = row.before;
        const auto settle = std::chrono::duration_cast<std::chrono::milliseconds>(settleDelay(row.metric));
        // The sampler publishes halfway through the wait.
        rig.scheduler.after(settle / 2, nullptr, [&] { rig.monitor.snapshot = row.after; });
        int ran = 0, completions = 0;
        std::optional<SampleResult> got;
        const QDateTime started = rig.clock.now();
        auto m = rig.harness.measureOutcomeSync(
            row.metric, QStringLiteral("kind"), [&] { ++ran; },
            [&](const SampleResult& r) {
                ++completions;
                got = r;
            });
        EXPECT_EQ(ran, 1);
        rig.scheduler.advance(settle - 1ms);
        EXPECT_EQ(completions, 0);
        EXPECT_FALSE(m->isFinished());
        rig.scheduler.advance(1ms);
        ASSERT_EQ(completions, 1);
        ASSERT_TRUE(got->isValue());
        const MeasuredOutcome& o = got->outcome();
        EXPECT_EQ(o.metric, row.metric);
        EXPECT_EQ(o.epitopeID, QStringLiteral("kind"));
        EXPECT_DOUBLE_EQ(o.before, row.expectBefore);
        EXPECT_DOUBLE_EQ(o.after, row.expectAfter);
        EXPECT_DOUBLE_EQ(o.delta, row.expectDelta);
        EXPECT_EQ(o.measuredAt, started.addMSecs(settle.count()));
        EXPECT_EQ(o.deltaText(), QString::fromUtf8(row.deltaText));
        EXPECT_EQ(m->result(), got);
    }
}

TEST(OutcomeHarness, NoNewSampleGivesZeroDeltaWithPlusSign)
{
    for (OutcomeMetric metric : allOutcomeMetrics) {
        Rig rig;
        rig.monitor.snapshot = snapshot(8, 60, 30, 100 * GiB, 55);
        std::optional<SampleResult> got;
        rig.harness.measureOutcomeSync(metric, QStringLiteral("k"), [] {}, [&](const SampleResult& r) { got = r; });
        rig.scheduler.advance(3s);
        ASSERT_TRUE(got && got->isValue()) << rawValue(metric).toStdString();
        EXPECT_EQ(got->outcome().delta, 0);
        EXPECT_TRUE(got->outcome().deltaText().startsWith(QLatin1Char('+'))) << got->outcome().deltaText().toStdString();
    }
}

TEST(OutcomeHarness, TemperatureWithoutSensorAnswersNullWithoutWaiting)
{
    Rig rig;
    rig.monitor.snapshot = snapshot(8, 60, 30, 100 * GiB, std::nullopt);
    int ran = 0;
    std::optional<SampleResult> got;
    auto m = rig.harness.measureOutcomeSync(OutcomeMetric::tempDropC, QStringLiteral("k"), [&] { ++ran; },
                                            [&](const SampleResult& r) { got = r; });
    EXPECT_EQ(ran, 1);
    ASSERT_TRUE(got.has_value());
    EXPECT_TRUE(got->isNull());
    EXPECT_EQ(got->reason(), QStringLiteral("no SMC temperature sensor"));
    EXPECT_EQ(rig.scheduler.pendingCount(), 0);

    // A reading that disappears during the wait is unmeasurable too, after the wait.
    rig.monitor.snapshot = snapshot(8, 60, 30, 100 * GiB, 60);
    got.reset();
    rig.harness.measureOutcomeSync(OutcomeMetric::tempDropC, QStringLiteral("k"),
                                   [&] { rig.monitor.snapshot.cpuTempC.reset(); },
                                   [&](const SampleResult& r) { got = r; });
    EXPECT_FALSE(got.has_value());
    rig.scheduler.advance(2500ms);
    ASSERT_TRUE(got && got->isNull());
    EXPECT_EQ(got->reason(), SampleResult::noSensorReason());
}

TEST(OutcomeHarness, CancelledWaitAnswersAtOnce)
{
    Rig rig;
    rig.monitor.snapshot = snapshot(8, 60, 30, 100 * GiB, 60);
    int completions = 0;
    std::optional<SampleResult> got;
    auto m = rig.harness.measureOutcomeSync(OutcomeMetric::memPressureDrop, QStringLiteral("k"),
                                            [&] { rig.monitor.snapshot.memoryPressure = 45; },
                                            [&](const SampleResult& r) {
                                                ++completions;
                                                got = r;
                                            });
    rig.scheduler.advance(300ms);
    EXPECT_EQ(completions, 0);
    m->cancel();
    ASSERT_EQ(completions, 1);
    EXPECT_DOUBLE_EQ(got->outcome().delta, 15);
    EXPECT_EQ(got->outcome().measuredAt, rig.clock.now());
    EXPECT_EQ(rig.scheduler.pendingCount(), 0);
    m->cancel();
    rig.scheduler.advance(5s);
    EXPECT_EQ(completions, 1);
}

TEST(OutcomeHarness, AsyncActionIsAwaitedAndFinishesOnTheMainThread)
{
    Rig rig;
    rig.monitor.snapshot = snapshot(8, 60, 30, 100 * GiB, 60);

    // An action that finishes 2 s later: the settle delay starts only then.
    std::optional<SampleResult> got;
    rig.harness.measureOutcome(
        OutcomeMetric::diskFreedGB, QStringLiteral("preclear:sweep"),
        [&](std::function<void()> done) {
            rig.scheduler.after(2s, nullptr, [&rig, done] {
                rig.monitor.snapshot.diskUsed -= GiB;
                done();
                done();  // a second call is ignored
            });
        },
        [&](const SampleResult& r) { got = r; });
    rig.scheduler.advance(2799ms);
    EXPECT_FALSE(got.has_value());
    rig.scheduler.advance(1ms);
    ASSERT_TRUE(got && got->isValue());
    EXPECT_DOUBLE_EQ(got->outcome().delta, 1.0);

    // Cancelled while the action still runs: the reading follows right after it.
    got.reset();
    std::function<void()> finishLater;
    auto m = rig.harness.measureOutcome(
        OutcomeMetric::cpuDrop, QStringLiteral("k"), [&](std::function<void()> done) { finishLater = done; },
        [&](const SampleResult& r) { got = r; });
    m->cancel();
    EXPECT_FALSE(got.has_value());
    finishLater();
    EXPECT_TRUE(got.has_value());
    EXPECT_EQ(rig.scheduler.pendingCount(), 0);

    // Work on another thread answers there; the reading happens back on the main thread.
    got.reset();
    QThread* completedOn = nullptr;
    std::thread worker;
    rig.harness.measureOutcome(
        OutcomeMetric::cpuDrop, QStringLiteral("k"),
        [&](std::function<void()> done) { worker = std::thread([done] { done(); }); },
        [&](const SampleResult& r) {
            got = r;
            completedOn = QThread::currentThread();
        });
    worker.join();
    EXPECT_EQ(rig.scheduler.pendingCount(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.scheduler.pendingCount(), 1);
    rig.scheduler.advance(1500ms);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(completedOn, QCoreApplication::instance()->thread());
}

TEST(OutcomeHarness, DiskUsedAboveTotalCountsAsNoFreeSpace)
{
    PerformanceSnapshot broken = snapshot(8, 60, 30, 600 * GiB, 60);
    EXPECT_EQ(Measurement::freeGiB(broken), 0);
    EXPECT_DOUBLE_EQ(Measurement::freeGiB(snapshot(8, 60, 30, 499 * GiB, 60)), 1.0);
}

TEST(MeasuredOutcome, Texts)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.path() + "/settings.json");
    ManualClock clock;
    AppSettings settings(defaults, clock, QLocale(QLocale::English, QLocale::UnitedKingdom));
    settings.setTemperatureUnitFahrenheit(false);
    settings.setStorageUnitBinary(false);

    struct Row {
        OutcomeMetric metric;
        double delta, before, after;
        const char* deltaText;
        const char* beforeAfter;
        bool fahrenheit;
    };
    const Row rows[] = {
        {OutcomeMetric::memFreedMB, 312.4, 8.0, 7.7, "+312 MB", "8.0GB - 7.7GB = +0.3GB free", false},
        {OutcomeMetric::memFreedMB, -100, 7.7, 7.8, "\u2212100 MB", "7.7GB - 7.8GB = +0.0GB free", false},
        {OutcomeMetric::memPressureDrop, 12, 62, 50, "+12 pts", "62% \u2192 50% = -12 pts pressure", false},
        {OutcomeMetric::cpuDrop, -15, 20, 35, "\u221215 %", "20% \u2192 35% = -0 pts CPU", false},
        {OutcomeMetric::tempDropC, 4.2, 70.4, 66.2, "+4.2 \u00B0C", "70\u00B0C \u2192 66\u00B0C = -4.2\u00B0C", false},
        {OutcomeMetric::tempDropC, -0.76, 60, 60.76, "\u22120.8 \u00B0C", "60\u00B0C \u2192 61\u00B0C = -0.0\u00B0C",
         false},
        {OutcomeMetric::tempDropC, 4.2, 70.4, 66.2, "+4.2 \u00B0C", "159\u00B0F \u2192 151\u00B0F = -7.6\u00B0F", true},
        {OutcomeMetric::diskFreedGB, 2.5, 100, 102.5, "+2.5 GB", "107 GB \u2192 110 GB = +2.7 GB free", false},
        {OutcomeMetric::diskFreedGB, 0, 0.5, 0.5, "+0.0 GB", "537 MB \u2192 537 MB = +0.0 B free", false},
    };
    for (const Row& r : rows) {
        settings.setTemperatureUnitFahrenheit(r.fahrenheit);
        const MeasuredOutcome o{r.metric, QStringLiteral("k"), r.delta, r.before, r.after, clock.now()};
        EXPECT_EQ(o.deltaText(), QString::fromUtf8(r.deltaText));
        EXPECT_EQ(o.beforeAfterText(settings), QString::fromUtf8(r.beforeAfter));
    }
}

TEST(MeasuredOutcome, JsonRoundTripAndStrictDecoding)
{
    ManualClock clock;
    const MeasuredOutcome o{OutcomeMetric::tempDropC, QStringLiteral("relieve-mem"), -0.5, 60, 60.5, clock.now()};
    const QJsonObject json = o.toJson();
    EXPECT_EQ(json.keys(), (QStringList{"after", "before", "delta", "epitopeID", "measuredAt", "metric"}));
    EXPECT_EQ(json.value("metric").toString(), QStringLiteral("tempDropC"));
    EXPECT_EQ(MeasuredOutcome::fromJson(json), o);

    QJsonObject badMetric = json;
    badMetric["metric"] = "tempDrop";
    QJsonObject wrongType = json;
    wrongType["delta"] = "1";
    QJsonObject missing = json;
    missing.remove("before");
    for (const QJsonObject& bad : {badMetric, wrongType, missing}) EXPECT_FALSE(MeasuredOutcome::fromJson(bad));
}

TEST(OutcomeHarness, RealTimerWaitKeepsTheMainLoopRunning)
{
    FakeMonitorState monitor;
    SystemClock clock;
    QtScheduler scheduler;
    OutcomeHarness harness(monitor, scheduler, clock);
    monitor.snapshot = snapshot(8, 60, 30, 100 * GiB, 60);
    // A sample published by the main loop while the harness waits is what "after" sees.
    QTimer::singleShot(300, [&] { monitor.snapshot.diskUsed -= GiB; });
    std::optional<SampleResult> got;
    QElapsedTimer elapsed;
    elapsed.start();
    harness.measureOutcomeSync(OutcomeMetric::diskFreedGB, QStringLiteral("k"), [] {},
                               [&](const SampleResult& r) { got = r; });
    EXPECT_FALSE(got.has_value());
    EXPECT_LT(elapsed.elapsed(), 600);  // returned without sleeping through the 0.8 s settle
    while (!got && elapsed.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_TRUE(got.has_value());
    EXPECT_GE(elapsed.elapsed(), 790);
    EXPECT_DOUBLE_EQ(got->outcome().delta, 1.0);
}
