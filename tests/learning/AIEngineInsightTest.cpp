// The judging rules, their texts, publication (dedup, cap), personality and learning level.
#include "LearningRig.h"

#include <gtest/gtest.h>

using namespace learning;
using namespace std::chrono_literals;
using Type = AIInsight::InsightType;
using Severity = AIInsight::Severity;

namespace {

SystemObservation obs(double cpu) { return SystemObservation{QDateTime::currentDateTimeUtc(), cpu, 40, 10}; }

void fillHour(AIEngine::LearningState& s, int hour, int count, double cpu)
{
    for (int i = 0; i < count; ++i) s.hourlySnapshots[hour].append(obs(cpu));
}

ProcessBaseline baseline(const char* name, double avgCPU, double sd, double avgMem, int64_t count)
{
    return ProcessBaseline{.processName = QString::fromUtf8(name),
                           .avgCPU = avgCPU,
                           .avgMemoryMB = avgMem,
                           .stdDevCPU = sd,
                           .sampleCount = count};
}

QStringList titles(const QList<AIInsight>& list)
{
    QStringList out;
    for (const AIInsight& i : list) out << i.title;
    return out;
}

}  // namespace

TEST(AIEngineRules, CpuAndMemoryAnomalies)
{
    EngineRig rig;
    const int hour = rig.clock.now().toLocalTime().time().hour();
    rig.withState([&](AIEngine::LearningState& s) {
        fillHour(s, hour, 10, 20);
        s.baselinesInternal.insert(QStringLiteral("young"), baseline("young", 1, 1, 10, 9));
        s.baselinesInternal.insert(QStringLiteral("edgy"), baseline("edgy", 1, 1, 150, 10));
        s.baselinesInternal.insert(QStringLiteral("hog"), baseline("hog", 10, 2, 150, 50));
    });
    const QList<ProcessInfoItem> list = {proc(1, "young", 99, 5000), proc(2, "edgy", 30, 500),
                                         proc(3, "hog", 30.4, 600)};
    const QList<AIInsight> found =
        rig.rule([&](AIEngine& e) { return e.detectCPUAnomalies(snap(86), list); });
    ASSERT_EQ(titles(found), (QStringList{QStringLiteral("Unusual CPU activity"), QStringLiteral("hog using unusual CPU"),
                                          QStringLiteral("hog memory spike")}));
    EXPECT_EQ(found[0].detail, QStringLiteral("CPU at 86% is significantly above your typical 20% at this hour."));
    EXPECT_EQ(found[0].severity, Severity::warning);
    EXPECT_EQ(found[1].detail, QStringLiteral("Currently 30% vs typical 10%."));
    EXPECT_EQ(found[2].detail, QStringLiteral("Using 600 MB vs typical 150 MB."));
    EXPECT_EQ(found[2].type, Type::memoryAnomaly);

    // At exactly 50 % the system anomaly is not raised; with 9 observations never.
    EXPECT_TRUE(rig.rule([&](AIEngine& e) { return e.detectCPUAnomalies(snap(50), {}); }).isEmpty());
    rig.withState([&](AIEngine::LearningState& s) { s.hourlySnapshots[hour].resize(9); });
    EXPECT_TRUE(rig.rule([&](AIEngine& e) { return e.detectCPUAnomalies(snap(99), {}); }).isEmpty());
}

TEST(AIEngineRules, UsagePatternAndQuietHours)
{
    EngineRig rig;
    rig.withState([&](AIEngine::LearningState& s) {
        const double cpu[] = {5, 70, 60, 50, 10, 3};
        const int hours[] = {0, 9, 12, 15, 22, 3};
        for (int i = 0; i < 5; ++i) fillHour(s, hours[i], 5, cpu[i]);
        s.observationCount = 102;
    });
    EXPECT_EQ(rig.rule([](AIEngine& e) { return e.computeQuietHours(); }), (QList<int>{2, 3, 4, 5})) << "five hours";
    EXPECT_FALSE(rig.rule([](AIEngine& e) { return e.detectUsagePattern(); }));
    rig.withState([&](AIEngine::LearningState& s) { fillHour(s, 3, 5, 3); });
    const auto pattern = rig.rule([](AIEngine& e) { return e.detectUsagePattern(); });
    ASSERT_TRUE(pattern);
    EXPECT_EQ(pattern->detail, QStringLiteral("Peak hours: 9AM, 12PM, 3PM. Quiet hours: 10PM, 12AM, 3AM. "
                                              "Maintenance scheduled around quiet periods."));
    EXPECT_EQ(rig.rule([](AIEngine& e) { return e.computeQuietHours(); }), (QList<int>{0, 3, 15, 22}));
    rig.withState([&](AIEngine::LearningState& s) { s.observationCount = 100; });
    EXPECT_FALSE(rig.rule([](AIEngine& e) { return e.detectUsagePattern(); })) << "not before observation 101";
}

TEST(AIEngineRules, BottlenecksWorkflowsAndExplanations)
{
    EngineRig rig;
    auto bottleneck = [&](PerformanceSnapshot s, QList<ProcessInfoItem> list) {
        return rig.rule([&](AIEngine& e) { return e.detectBottlenecks(s, list); });
    };
    PerformanceSnapshot serious = snap(20);
    serious.thermalState = ThermalLevel::serious;
    auto b = bottleneck(serious, {});
    ASSERT_TRUE(b);
    EXPECT_EQ(b->detail, QStringLiteral("Your computer is thermally limited. Performance is being throttled to cool down."));
    EXPECT_EQ(b->severity, Severity::warning);

    PerformanceSnapshot hot = snap(20);
    hot.cpuTempC = 91.4;
    hot.thermalState = ThermalLevel::critical;
    b = bottleneck(hot, {proc(1, "baloo_file", 80), proc(2, "x", 80)});
    EXPECT_EQ(b->detail, QStringLiteral("Your computer is thermally limited (91\u00B0C) \u2014 driven by Search Index "
                                        "indexing. Performance is being throttled to cool down."));
    EXPECT_EQ(b->severity, Severity::critical);

    b = bottleneck(snap(20, 90), {proc(1, "a", 1, 300), proc(2, "b", 1, 900.4)});
    EXPECT_EQ(b->title, QStringLiteral("Memory bottleneck"));
    EXPECT_EQ(b->detail, QStringLiteral("Memory pressure at 90% \u2014 the system is compressing/swapping, which slows "
                                        "everything. Top consumer: b (900 MB)."));
    EXPECT_EQ(b->severity, Severity::critical);

    EXPECT_FALSE(bottleneck(snap(90), {proc(1, "a", 55)})) << "top process under 60 %";
    b = bottleneck(snap(90), {proc(1, "kswapd0", 61)});
    EXPECT_EQ(b->detail, QStringLiteral("CPU saturated at 90% \u2014 the kernel reclaiming memory (kswapd) is using 61%. "
                                        "Other apps will feel sluggish until it settles."));

    EXPECT_EQ(AIEngine::explainProcessLoad(QStringLiteral("mdsync")), QStringLiteral("Search Index indexing"));
    EXPECT_EQ(AIEngine::explainProcessLoad(QStringLiteral("dropbox")), QStringLiteral("cloud syncing"));
    EXPECT_EQ(AIEngine::explainProcessLoad(QStringLiteral("blender")), QStringLiteral("blender"));

    auto workflow = [&](QList<ProcessInfoItem> list) { return rig.rule([&](AIEngine& e) { return e.detectWorkflow(list); }); };
    const auto meeting = workflow({proc(1, "codium", 1), proc(2, "Zoom", 1)});
    ASSERT_TRUE(meeting);
    EXPECT_EQ(meeting->title, QStringLiteral("Meeting mode")) << "a meeting wins over an editor";
    EXPECT_EQ(workflow({proc(1, "krita", 1)})->title, QStringLiteral("Creative mode"));
    EXPECT_EQ(workflow({proc(1, "qtcreator", 1)})->detail,
              QStringLiteral("Dev workflow detected \u2014 build tools and language servers are prioritized; runaway "
                             "helpers are watched but your active toolchain is protected."));
    EXPECT_FALSE(workflow({proc(1, "bash", 1)}));
}

// The explanation and workflow lists against names common Linux desktops run: fragments that
// name one program (bird, resolve) must not catch daemons that merely contain them.
TEST(AIEngineRules, CommonLinuxProcessNames)
{
    EngineRig rig;
    const struct {
        const char* name;
        const char* explained;
        const char* workflow;  // empty: no workflow insight
    } rows[] = {
        {"systemd-resolved", "systemd-resolved", ""},
        {"thunderbird", "thunderbird", ""},
        {"tracker-miner-fs-3", "Search Index indexing", ""},
        {"baloo_file", "Search Index indexing", ""},
        {"gnome-software", "gnome-software", ""},
        {"packagekitd", "system updates", ""},
        {"firefox", "firefox", ""},
        {"code", "code", ""},
        {"steam", "steam", ""},
        {"bird", "cloud syncing", ""},
        {"resolve", "resolve", "Creative mode"},
        {"gimp-2.10", "gimp-2.10", "Creative mode"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(AIEngine::explainProcessLoad(QString::fromUtf8(r.name)), QString::fromUtf8(r.explained));
        const QList<ProcessInfoItem> list = {proc(1, r.name, 1)};
        const std::optional<AIInsight> found = rig.rule([&](AIEngine& e) { return e.detectWorkflow(list); });
        EXPECT_EQ(found ? found->title : QString(), QString::fromUtf8(r.workflow));
    }
}

TEST(AIEngineRules, Recommendations)
{
    EngineRig rig;
    rig.withState([&](AIEngine::LearningState& s) {
        s.throttleEffectiveness.insert(QStringLiteral("stubborn"), ThrottleStats{3, 1});
        s.throttleEffectiveness.insert(QStringLiteral("fine"), ThrottleStats{5, 2});
    });
    PerformanceSnapshot full = snap(20);
    full.memoryUsed = 14;
    full.memoryTotal = 16;  // 87.5 %
    AIEngine::IngestContext context;
    context.incidents = {{QStringLiteral("a"), 9}, {QStringLiteral("b"), 5}, {QStringLiteral("c"), 4}, {QStringLiteral("d"), 8}};
    const QList<MemoryLeak> leaks = {MemoryLeak{.processName = QStringLiteral("sure"), .currentMemoryMB = 812.4,
                                                .growthRateMBPerHour = 74.6, .confidence = 0.81},
                                     MemoryLeak{.processName = QStringLiteral("unsure"), .confidence = 0.8}};
    const QList<AIInsight> recs = rig.rule(
        [&](AIEngine& e) {
            return e.buildRecommendations(full, {proc(1, "p", 1, 100), proc(2, "q", 1, 300), proc(3, "r", 1, 200),
                                                 proc(4, "s", 1, 50)},
                                          leaks);
        },
        context);
    ASSERT_EQ(titles(recs), (QStringList{QStringLiteral("Memory pressure high"), QStringLiteral("Chronic offender: a"),
                                         QStringLiteral("Chronic offender: b"), QStringLiteral("Memory leak: sure"),
                                         QStringLiteral("Throttle ineffective: stubborn")}));
    EXPECT_EQ(recs[0].detail, QStringLiteral("Consider closing: q (300 MB), r (200 MB), p (100 MB)"));
    EXPECT_EQ(recs[1].detail,
              QStringLiteral("Throttled 9 times. Consider adding to protected list or investigating root cause."));
    EXPECT_EQ(recs[3].detail, QStringLiteral("Growing at 75 MB/hr. Currently 812 MB. Consider restarting."));
    EXPECT_EQ(recs[4].detail, QStringLiteral("Throttling rarely lowers stubborn's CPU (33% success over 3 tries). "
                                             "Consider a different strategy."));
    full.memoryUsed = 16 * 0.85;
    EXPECT_TRUE(titles(rig.rule([&](AIEngine& e) { return e.buildRecommendations(full, {}, {}); }))
                    .filter(QStringLiteral("Memory pressure")).isEmpty())
        << "exactly 85 % is not high";
}

TEST(AIEngineRules, PersonalityAndLearningLevel)
{
    const struct {
        int observations;
        double meanCPU;
        int busyHours;
        const char* text;
    } cases[] = {
        {49, 10, 0, "Learning your patterns..."},
        {60, 60, 9, "Power User \u2014 Heavy multitasker"},
        {60, 20, 4, "Light User \u2014 Efficient usage"},
        {60, 20, 5, "Burst Worker \u2014 Focused work sessions"},
        {60, 45, 2, "Active User \u2014 Moderate load patterns"},
    };
    for (const auto& c : cases) {
        EngineRig rig;
        rig.withState([&](AIEngine::LearningState& s) {
            // Busy hours hold 5 observations above 40 %; the rest lie in hour 23 so the mean comes out.
            int left = c.observations;
            double sum = 0;
            for (int h = 0; h < c.busyHours; ++h) {
                fillHour(s, h, 5, 90);
                left -= 5;
                sum += 5 * 90;
            }
            const double rest = (c.meanCPU * c.observations - sum) / left;
            fillHour(s, 23, left, rest);
        });
        EXPECT_EQ(rig.rule([](AIEngine& e) { return e.updatePersonality(); }), QString::fromUtf8(c.text)) << c.text;
    }

    EngineRig rig;
    rig.withState([&](AIEngine::LearningState& s) {
        s.observationCount = 500;
        for (int i = 0; i < 15; ++i) s.baselinesInternal.insert(QString::number(i), ProcessBaseline{});
        for (int h = 0; h < 12; ++h) fillHour(s, h, 10, 5);
        fillHour(s, 12, 9, 5);
    });
    EXPECT_DOUBLE_EQ(rig.rule([](AIEngine& e) { return e.updateLearningLevel(); }), 0.5);
    rig.withState([&](AIEngine::LearningState& s) {
        s.observationCount = 1000;
        for (int i = 0; i < 40; ++i) s.baselinesInternal.insert(QString::number(i), ProcessBaseline{});
        for (int h = 12; h < 24; ++h) fillHour(s, h, 10, 5);
    });
    EXPECT_DOUBLE_EQ(rig.rule([](AIEngine& e) { return e.updateLearningLevel(); }), 1.0);
}

TEST(AIEnginePublish, DeduplicatesByTitleAndKeepsFifty)
{
    EngineRig rig;
    auto insight = [](const QString& title, const char* detail) {
        return AIInsight{.title = title, .detail = QString::fromUtf8(detail)};
    };
    AIEngine::PassResult first;
    first.gathered = {insight(QStringLiteral("Disk space prediction"), "first")};
    rig.engine->publishInsights(first);
    AIEngine::PassResult second;
    second.gathered = {insight(QStringLiteral("Disk space prediction"), "second")};
    rig.engine->publishInsights(second);
    ASSERT_EQ(rig.engine->insights().size(), 1);
    EXPECT_EQ(rig.engine->insights()[0].detail, QStringLiteral("first"));

    EngineRig fresh;
    AIEngine::PassResult many;
    for (int i = 0; i < 55; ++i) many.gathered.append(insight(QStringLiteral("t%1").arg(i), ""));
    many.gathered.append(insight(QStringLiteral("t54"), "again"));
    fresh.engine->publishInsights(many);
    ASSERT_EQ(fresh.engine->insights().size(), 50);
    EXPECT_EQ(fresh.engine->insights().first().title, QStringLiteral("t54"));
    EXPECT_EQ(fresh.engine->insights().first().detail, QString());
    EXPECT_EQ(fresh.engine->insights().last().title, QStringLiteral("t5"));
}

TEST(AIEngineRoutines, StatisticsAndLabels)
{
    EXPECT_EQ(AIEngine::standardDeviation({4}), 0);
    EXPECT_NEAR(AIEngine::standardDeviation({2, 4, 4, 4, 5, 5, 7, 9}), 2.138, 1e-3);
    EXPECT_EQ(AIEngine::linearSlope({{100, 1}, {101, 3}}), 2.0);
    EXPECT_FALSE(AIEngine::linearSlope({{5, 1}, {5, 2}}));
    EXPECT_FALSE(AIEngine::linearSlope({{5, 1}}));
    EXPECT_EQ(AIEngine::hourLabel(0), QStringLiteral("12AM"));
    EXPECT_EQ(AIEngine::hourLabel(12), QStringLiteral("12PM"));
    EXPECT_EQ(AIEngine::hourLabel(15), QStringLiteral("3PM"));
    EXPECT_EQ(AIInsight::typeFromRaw(QStringLiteral("Thermal Forecast")), Type::thermalPrediction);
    EXPECT_FALSE(AIInsight::typeFromRaw(QStringLiteral("thermal forecast")));
    EXPECT_EQ(AIInsight::severityFromRaw(QStringLiteral("critical")), Severity::critical);
}
