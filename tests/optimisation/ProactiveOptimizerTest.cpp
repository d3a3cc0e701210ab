#include "optimisation/ProactiveOptimizer.h"

#include "actions/ActionGate.h"
#include "actions/DiskCleaner.h"
#include "actions/EpitopeLibrary.h"
#include "actions/FixtureHome.h"
#include "actions/OutcomeHarness.h"
#include "core/AppSettings.h"
#include "core/Dates.h"
#include "core/Json.h"
#include "core/Paths.h"
#include "core/UserDefaults.h"
#include "support/FakeMonitorState.h"
#include "support/ManualClock.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>

using namespace std::chrono_literals;

namespace {

constexpr uint64_t MiB = 1024 * 1024;
const QString kNpm = QStringLiteral("Node/npm Cache");
const QString kPip = QStringLiteral("Python/pip Cache");

QString npmDir() { return Paths::home() + QStringLiteral("/.npm/_cacache"); }
QString yarnDir() { return Paths::home() + QStringLiteral("/.cache/yarn"); }
QString pipDir() { return Paths::cacheHome() + QStringLiteral("/pip"); }

struct Rig {
    QTemporaryDir dir;
    UserDefaults defaults{dir.path() + QStringLiteral("/settings.json")};
    ManualClock clock;
    ManualScheduler scheduler{clock};
    AppSettings settings{defaults, clock};
    DiskCleaner cleaner;
    ActionGate gate{defaults, clock};
    EpitopeLibrary epitopes{clock};
    FakeMonitorState monitor;
    OutcomeHarness harness{monitor, scheduler, clock};
    std::unique_ptr<ProactiveOptimizer> optimizer;

    Rig() { reload(); }
    void reload()
    {
        optimizer.reset();
        optimizer = std::make_unique<ProactiveOptimizer>(ProactiveOptimizer::Collaborators{
            .settings = settings,
            .cleaner = cleaner,
            .gate = gate,
            .epitopes = epitopes,
            .harness = harness,
            .monitor = monitor,
            .clock = clock,
        });
    }

    uint64_t sweep()
    {
        std::optional<uint64_t> freed;
        optimizer->sweep(true, [&](uint64_t bytes) { freed = bytes; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return freed.has_value(); }, 15000));
        return freed.value_or(0);
    }

    std::optional<RegrowPattern> pattern(const QString& category) const
    {
        for (const RegrowPattern& p : optimizer->patterns()) {
            if (p.category == category) return p;
        }
        return std::nullopt;
    }

    // Saves patterns as an earlier run would have left them, and starts afresh from the file.
    void seed(const QList<RegrowPattern>& patterns)
    {
        QMap<QString, RegrowPattern> map;
        for (const RegrowPattern& p : patterns) map.insert(p.category, p);
        optimizer->publishPatterns(map);
        optimizer->savePatterns();
        reload();
    }
};

// An npm cache cleared an hour before `now`, not observed since.
RegrowPattern clearedNpm(const QDateTime& clearedAt)
{
    RegrowPattern p = RegrowPattern::fresh(kNpm);
    p.cleanCount = 1;
    p.totalReclaimedBytes = 80 * MiB;
    p.lastClearedAt = clearedAt;
    p.lastObservedAt = clearedAt;
    return p;
}

}  // namespace

TEST(RegrowPattern, RatesAndConfidence)
{
    const QDateTime t0 = ManualClock().now();
    struct Row {
        const char* name;
        QList<double> samples;
        std::optional<QDateTime> cleared, observed;
        uint64_t size;
        double expectedRate;
        double expectedConfidence;
    } rows[] = {
        {"nothing learned", {}, {}, {}, 500 * MiB, 0, 0},
        {"observed without a clear", {}, {}, t0, 500 * MiB, 0, 0},
        {"average of samples", {10.0 * MiB, 30.0 * MiB}, {}, {}, 0, 20.0 * MiB, 0.4},
        {"growth since the clear", {}, t0, t0.addSecs(1800), 40 * MiB, 80.0 * MiB, 1.0},
        {"larger of the two", {100.0 * MiB}, t0, t0.addSecs(7200), 40 * MiB, 100.0 * MiB, 1.0},
        {"observation too soon after the clear", {}, t0, t0.addSecs(36), 40 * MiB, 0, 0},
        {"observation before the clear", {}, t0.addSecs(3600), t0, 40 * MiB, 0, 0},
    };
    for (const Row& row : rows) {
        RegrowPattern p = RegrowPattern::fresh(kNpm);
        p.regrowRateSamples = row.samples;
        p.lastClearedAt = row.cleared;
        p.lastObservedAt = row.observed;
        p.lastSizeBytes = row.size;
        EXPECT_DOUBLE_EQ(p.regrowRate(), row.expectedRate) << row.name;
        EXPECT_DOUBLE_EQ(p.confidence(), row.expectedConfidence) << row.name;
    }

    RegrowPattern p = RegrowPattern::fresh(kNpm);
    for (int i = 1; i <= 21; ++i) p.addRegrowRateSample(i);
    ASSERT_EQ(p.regrowRateSamples.size(), 20);
    EXPECT_EQ(p.regrowRateSamples.first(), 2);
    EXPECT_EQ(p.regrowRateSamples.last(), 21);
}

TEST(ProactiveOptimizer, FirstSweepOnlyLearnsSizesAndClearsNothing)
{
    Rig rig;
    fixture::file(npmDir() + QStringLiteral("/a"), 40 * MiB);
    fixture::file(yarnDir() + QStringLiteral("/b"), 30 * MiB);
    fixture::file(pipDir() + QStringLiteral("/c"), 60 * MiB);

    EXPECT_EQ(rig.sweep(), 0u);

    EXPECT_EQ(rig.optimizer->lastSweepSummary(), QStringLiteral("Swept: no proven regrow offenders yet — still learning."));
    const std::optional<RegrowPattern> npm = rig.pattern(kNpm);
    ASSERT_TRUE(npm.has_value());
    EXPECT_EQ(npm->lastSizeBytes, 70 * MiB);  // both npm-family folders together
    EXPECT_EQ(npm->lastObservedAt, rig.clock.now());
    EXPECT_FALSE(npm->lastClearedAt.has_value());
    EXPECT_EQ(npm->confidence(), 0);
    EXPECT_TRUE(rig.pattern(kPip).has_value());
    EXPECT_TRUE(rig.gate.ledger().isEmpty());
    EXPECT_TRUE(rig.optimizer->events().isEmpty());
    EXPECT_EQ(fixture::entries(npmDir()), QStringList{QStringLiteral("a")});

    // What was learned is on disk for the next launch.
    rig.reload();
    EXPECT_EQ(rig.pattern(kNpm), npm);
}

TEST(ProactiveOptimizer, RegrowthSeenAfterAClearIsLearnedAndPreClearedIntoTheTrash)
{
    Rig rig;
    const QDateTime clearedAt = rig.clock.now();
    rig.seed({clearedNpm(clearedAt)});
    rig.clock.advance(1h);
    fixture::file(npmDir() + QStringLiteral("/a"), 60 * MiB);
    fixture::file(pipDir() + QStringLiteral("/c"), 70 * MiB);  // large, but never seen to regrow

    EXPECT_EQ(rig.sweep(), 60 * MiB);

    // The scan's size an hour after the clear is the regrowth: 60 MiB an hour.
    const std::optional<RegrowPattern> npm = rig.pattern(kNpm);
    ASSERT_TRUE(npm.has_value());
    EXPECT_EQ(npm->regrowRateSamples, QList<double>{60.0 * MiB});
    EXPECT_EQ(npm->cleanCount, 2);
    EXPECT_EQ(npm->totalReclaimedBytes, 140 * MiB);
    EXPECT_EQ(npm->lastSizeBytes, 0u);
    EXPECT_EQ(npm->lastClearedAt, rig.clock.now());
    EXPECT_EQ(rig.optimizer->patterns().first().category, kNpm);

    EXPECT_TRUE(fixture::entries(npmDir()).isEmpty());
    EXPECT_EQ(fixture::entries(fixture::trashFiles()), QStringList{QStringLiteral("a")});
    EXPECT_EQ(fixture::entries(pipDir()), QStringList{QStringLiteral("c")});

    ASSERT_EQ(rig.gate.ledger().size(), 1);
    EXPECT_EQ(rig.gate.ledger().first().outcome, QStringLiteral("Cleared npm Cache (~62.9 MB)."));

    ASSERT_EQ(rig.optimizer->events().size(), 1);
    const OptimizerEvent& event = rig.optimizer->events().first();
    EXPECT_EQ(event.categoryName, kNpm);
    EXPECT_EQ(event.reclaimedBytes, 60 * MiB);
    EXPECT_TRUE(event.automatic);
    EXPECT_EQ(event.why, QStringLiteral("Node/npm Cache regrows fast (~60 MB/hr, seen across 1 prior clears) and is "
                                        "back to 62.9 MB — pre-clearing again. This is reversible; it rebuilds on "
                                        "demand."));
    const QString summary = QStringLiteral("Pre-cleared Node/npm Cache — freed 0.06 GB from fast-regrowing caches.");
    EXPECT_EQ(rig.optimizer->lastSweepSummary(), summary);

    // The history row is queued, not written during the sweep.
    EXPECT_TRUE(rig.monitor.actions.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.monitor.actions.isEmpty(); }, 5000));
    EXPECT_EQ(rig.monitor.actions.first().action, ActionType::cacheCleared);
    EXPECT_EQ(rig.monitor.actions.first().target, QStringLiteral("Proactive Optimizer"));
    EXPECT_EQ(rig.monitor.actions.first().detail, summary);

    // Half an hour later it is back, but too soon and too small to clear again.
    rig.clock.advance(30min);
    fixture::file(npmDir() + QStringLiteral("/fresh"), 55 * MiB);
    EXPECT_EQ(rig.sweep(), 0u);
    EXPECT_EQ(rig.optimizer->lastSweepSummary(),
              QStringLiteral("Swept: offenders known, but none were large enough to clear right now."));
    EXPECT_EQ(rig.pattern(kNpm)->regrowRateSamples.size(), 1);
    rig.clock.advance(2h);
    fixture::file(npmDir() + QStringLiteral("/fresh"), 20 * MiB);
    EXPECT_EQ(rig.sweep(), 0u);
    EXPECT_EQ(rig.pattern(kNpm)->cleanCount, 2);
    EXPECT_EQ(rig.gate.ledger().size(), 1);
}

TEST(ProactiveOptimizer, RetiredCategoryIsNotPreCleared)
{
    Rig rig;
    for (int i = 0; i < 6; ++i) {
        rig.epitopes.recordMeasuredAction(QStringLiteral("preclear:") + kNpm, kNpm, OutcomeMetric::diskFreedGB,
                                          SampleResult::null(QStringLiteral("nothing freed")));
    }
    ASSERT_EQ(rig.epitopes.epitope(QStringLiteral("preclear:") + kNpm)->state, EpitopeState::retired);
    rig.seed({clearedNpm(rig.clock.now())});
    rig.clock.advance(2h);
    fixture::file(npmDir() + QStringLiteral("/a"), 60 * MiB);

    EXPECT_EQ(rig.sweep(), 0u);
    EXPECT_EQ(rig.optimizer->lastSweepSummary(), QStringLiteral("Swept: no proven regrow offenders yet — still learning."));
    EXPECT_EQ(fixture::entries(npmDir()), QStringList{QStringLiteral("a")});
    EXPECT_TRUE(rig.gate.ledger().isEmpty());
}

TEST(ProactiveOptimizer, ScheduledSweepKeepsItsGapWithinTolerance)
{
    Rig rig;
    rig.settings.setAutoCleanupEnabled(false);
    rig.optimizer->runAutonomousSweep();
    EXPECT_FALSE(rig.optimizer->lastAutonomousSweepAt().has_value());

    rig.settings.setAutoCleanupEnabled(true);
    const QDateTime first = rig.clock.now();
    rig.optimizer->runAutonomousSweep();
    EXPECT_EQ(rig.optimizer->lastAutonomousSweepAt(), first);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.optimizer->lastSweepSummary() != ProactiveOptimizer::initialSummary(); },
                                15000));
    // The sweep is learned once the harness has measured the disk again after its settle delay.
    rig.scheduler.advance(1s);
    const std::optional<Epitope> learned = rig.epitopes.epitope(ProactiveOptimizer::sweepEpitopeID);
    ASSERT_TRUE(learned.has_value());
    EXPECT_EQ(learned->displayName, QStringLiteral("Proactive Sweep"));
    EXPECT_EQ(learned->outcomes.size(), 1);

    // A timer a few seconds early still counts as due; anything earlier is too soon.
    struct Row {
        std::chrono::milliseconds sinceFirst;
        bool runs;
    } rows[] = {{60s, false}, {1794s, false}, {1794s + 999ms, false}, {1795s, true}};
    for (const Row& row : rows) {
        rig.clock.set(first.addMSecs(row.sinceFirst.count()));
        rig.optimizer->runAutonomousSweep();
        EXPECT_EQ(rig.optimizer->lastAutonomousSweepAt(), row.runs ? rig.clock.now() : first)
            << row.sinceFirst.count() << " ms";
    }
}

TEST(ProactiveOptimizer, PatternsFileRoundTripsAndDamagedFilesLoadEmpty)
{
    Rig rig;
    RegrowPattern full = clearedNpm(Dates::fromReferenceSeconds(820'000'000.5));
    full.lastObservedAt = full.lastClearedAt->addSecs(5400);
    full.lastSizeBytes = 3'000'000'000ull;
    full.regrowRateSamples = {1.5e7, 2.25e7};
    const RegrowPattern bare = RegrowPattern::fresh(kPip);
    rig.seed({bare, full});

    EXPECT_EQ(rig.optimizer->patterns(), (QList<RegrowPattern>{full, bare}));  // confidence order
    const std::optional<QJsonDocument> doc = Json::readFile(rig.optimizer->filePath());
    ASSERT_TRUE(doc && doc->isArray());
    const QJsonObject bareJson = doc->array().at(1).toObject();
    EXPECT_EQ(bareJson.value(QStringLiteral("category")).toString(), kPip);
    EXPECT_FALSE(bareJson.contains(QStringLiteral("lastObservedAt")));
    EXPECT_FALSE(bareJson.contains(QStringLiteral("lastClearedAt")));
    EXPECT_FALSE(QFile::exists(rig.optimizer->filePath() + QStringLiteral(".tmp")));

    const QByteArray valid = QJsonDocument(bareJson).toJson(QJsonDocument::Compact);
    const QByteArray damaged[] = {
        "[{\"category\":\"x\"",
        "{}",
        "[" + valid + ",1]",
        "[" + valid + ",{\"category\":\"Trash\",\"displayName\":\"Trash\",\"cleanCount\":0,\"totalReclaimedBytes\":0,"
                      "\"regrowRateSamples\":[]}]",
        "[{\"category\":\"Trash\",\"displayName\":\"Trash\",\"cleanCount\":-1,\"totalReclaimedBytes\":0,"
        "\"lastSizeBytes\":0,\"regrowRateSamples\":[]}]",
        "[{\"category\":\"Trash\",\"displayName\":\"Trash\",\"cleanCount\":0,\"totalReclaimedBytes\":0,"
        "\"lastSizeBytes\":0,\"regrowRateSamples\":[\"fast\"]}]",
    };
    for (const QByteArray& bytes : damaged) {
        QFile file(rig.optimizer->filePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        rig.reload();
        EXPECT_TRUE(rig.optimizer->patterns().isEmpty()) << bytes.constData();
    }

    // A date no file of ours can hold (the first two overflowed the millisecond count; the
    // others lie before 2001 or after 2200) is treated as missing; the pattern stays.
    for (const double seconds : {9.3e15, -9.3e15, -1.0, 6.4e9}) {
        QJsonObject pattern = QJsonDocument::fromJson(valid).object();
        pattern[QStringLiteral("lastObservedAt")] = seconds;
        pattern[QStringLiteral("lastClearedAt")] = 820'000'000.0;
        QFile file(rig.optimizer->filePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(QJsonArray{pattern}).toJson());
        file.close();
        rig.reload();
        ASSERT_EQ(rig.optimizer->patterns().size(), 1) << seconds;
        EXPECT_FALSE(rig.optimizer->patterns().first().lastObservedAt) << seconds;
        EXPECT_EQ(rig.optimizer->patterns().first().lastClearedAt, Dates::fromReferenceSeconds(820'000'000.0));
    }
}

TEST(ProactiveOptimizer, TwoCategoriesClearedInConfidenceOrderShareOneSummary)
{
    Rig rig;
    const QDateTime start = rig.clock.now();
    RegrowPattern pip = clearedNpm(start);
    pip.category = pip.displayName = kPip;
    rig.seed({pip, clearedNpm(start.addSecs(7200))});
    rig.clock.advance(3h);
    fixture::file(pipDir() + QStringLiteral("/c"), 60 * MiB);            // 20 MiB an hour: confidence 0.4
    fixture::file(npmDir() + QStringLiteral("/a"), 60 * MiB);            // 60 MiB an hour: confidence 1
    fixture::file(yarnDir() + QStringLiteral("/b"), 10 * MiB);

    EXPECT_EQ(rig.sweep(), 130 * MiB);

    EXPECT_EQ(rig.optimizer->lastSweepSummary(),
              QStringLiteral("Pre-cleared Node/npm Cache, Python/pip Cache — freed 0.13 GB from fast-regrowing caches."));
    ASSERT_EQ(rig.optimizer->events().size(), 2);
    EXPECT_EQ(rig.optimizer->events().at(0).categoryName, kPip);  // newest first
    EXPECT_EQ(rig.optimizer->events().at(1).reclaimedBytes, 70 * MiB);
    EXPECT_EQ(rig.gate.ledger().size(), 3);  // one entry per folder
    EXPECT_EQ(rig.pattern(kNpm)->regrowRateSamples, QList<double>{70.0 * MiB});
}

TEST(ProactiveOptimizer, APreClearEmptiesOnTheCleanersWorkerAndRecordsOnTheMainThread)
{
    Rig rig;
    // Enough entries that moving them takes a while: each goes to the Trash with its record.
    for (int i = 0; i < 1500; ++i) fixture::file(npmDir() + QStringLiteral("/e%1").arg(i), 4096);
    CleanupTarget target;
    target.path = npmDir();
    target.name = QStringLiteral("npm Cache");
    target.category = CleanupTarget::CleanupCategory::npmCache;
    target.sizeBytes = 1500 * 4096;

    std::optional<ProactiveOptimizer::Preclear> result;
    QThread* reportedOn = nullptr;
    rig.optimizer->preclearTargetInBackground(target, [&](ProactiveOptimizer::Preclear p) {
        result = p;
        reportedOn = QThread::currentThread();
    });
    // The call returns at once: the folder is still being emptied and nothing is recorded yet.
    EXPECT_FALSE(result.has_value());
    EXPECT_FALSE(fixture::entries(npmDir()).isEmpty());
    EXPECT_TRUE(rig.gate.ledger().isEmpty()) << "recorded when the outcome is known";

    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 20000));
    EXPECT_EQ(reportedOn, QThread::currentThread());
    EXPECT_TRUE(result->cleared);
    EXPECT_EQ(result->bytesMoved, 1500u * 4096u);
    EXPECT_TRUE(fixture::entries(npmDir()).isEmpty());
    EXPECT_EQ(fixture::entries(fixture::trashFiles()).size(), 1500);
    ASSERT_EQ(rig.gate.ledger().size(), 1);
    EXPECT_EQ(rig.gate.ledger().first().outcome, QStringLiteral("Cleared npm Cache (~6.1 MB)."));
}
