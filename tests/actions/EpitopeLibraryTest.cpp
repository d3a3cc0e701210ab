#include "actions/EpitopeLibrary.h"
#include "core/Paths.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cmath>

namespace {

SampleResult pressureDrop(double delta)
{
    return SampleResult::value(
        MeasuredOutcome{OutcomeMetric::memPressureDrop, QStringLiteral("relieve-mem"), delta, 60, 60 - delta, {}});
}

// S/F: automatic success (exactly at the threshold) / failure (just below); N: nothing measured;
// M/m: the user's success / failure.
void feed(EpitopeLibrary& lib, const QString& steps)
{
    const QString id = QStringLiteral("relieve-mem"), name = QStringLiteral("Relieve memory pressure");
    const OutcomeMetric metric = OutcomeMetric::memPressureDrop;
    for (QChar c : steps) {
        switch (c.toLatin1()) {
        case 'S': lib.recordMeasuredAction(id, name, metric, pressureDrop(8.0)); break;
        case 'F': lib.recordMeasuredAction(id, name, metric, pressureDrop(7.9)); break;
        case 'N': lib.recordMeasuredAction(id, name, metric, SampleResult::null(QStringLiteral("no SMC temperature sensor"))); break;
        case 'M': lib.recordManualAction(id, name, metric, pressureDrop(9)); break;
        case 'm': lib.recordManualAction(id, name, metric, pressureDrop(1)); break;
        default: FAIL() << "bad step";
        }
    }
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

}  // namespace

TEST(EpitopeLibrary, StateMachineOverOutcomeSequences)
{
    const double r6 = 0.5 * std::pow(0.7, 6);  // six straight failures from a new kind
    struct Row {
        const char* steps;
        EpitopeState state;
        double rate;
        int outcomes, deltas;
        bool hero;
    };
    const Row rows[] = {
        {"S", EpitopeState::learning, 0.65, 1, 1, true},
        {"F", EpitopeState::learning, 0.35, 1, 1, false},
        {"N", EpitopeState::learning, 0.35, 1, 0, false},
        {"M", EpitopeState::learning, 0.65, 1, 1, true},
        {"FFFFF", EpitopeState::decaying, 0.5 * std::pow(0.7, 5), 5, 5, false},
        {"FFNFF", EpitopeState::decaying, 0.5 * std::pow(0.7, 5), 5, 4, false},
        {"FFFFFF", EpitopeState::retired, r6, 6, 6, false},
        {"SSSSS", EpitopeState::learning, 1 - 0.5 * std::pow(0.7, 5), 5, 5, true},
        {"SSSSSS", EpitopeState::reinforced, 1 - r6, 6, 6, true},
        {"SSSSSSF", EpitopeState::learning, 0.7 * (1 - r6), 7, 7, false},
        {"SSSSSSFFF", EpitopeState::decaying, 0.343 * (1 - r6), 9, 9, false},
        {"FFFFFSS", EpitopeState::decaying, 0.7 * (0.7 * 0.5 * std::pow(0.7, 5) + 0.3) + 0.3, 7, 7, true},
        {"FFFFFSSS", EpitopeState::learning, 0.7 * (0.7 * (0.7 * 0.5 * std::pow(0.7, 5) + 0.3) + 0.3) + 0.3, 8, 8, true},
        // Retired: automatic successes raise the rate but never the state.
        {"FFFFFFSSS", EpitopeState::retired, 0.343 * r6 + 0.3 * (1 + 0.7 + 0.49), 9, 9, true},
        {"FFFFFFm", EpitopeState::retired, 0.7 * r6, 7, 7, false},
        // One manual success leaves the rate alone; a second in a row revives the kind.
        {"FFFFFFM", EpitopeState::retired, r6, 7, 7, true},
        {"FFFFFFMM", EpitopeState::learning, 0.5, 8, 8, true},
        {"FFFFFFSM", EpitopeState::learning, 0.5, 8, 8, true},
        {"FFFFFFMMF", EpitopeState::decaying, 0.35, 9, 9, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.steps);
        QTemporaryDir dir;
        ManualClock clock;
        EpitopeLibrary lib(clock, dir.path());
        feed(lib, QString::fromLatin1(row.steps));
        const auto e = lib.epitope(QStringLiteral("relieve-mem"));
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(rawValue(e->state).toStdString(), rawValue(row.state).toStdString());
        EXPECT_NEAR(e->successRate, row.rate, 1e-12);
        EXPECT_EQ(e->outcomes.size(), row.outcomes);
        EXPECT_EQ(e->deltas.size(), row.deltas);
        EXPECT_EQ(e->lastMeasuredAt, clock.now());
        EXPECT_EQ(lib.heroDelta().has_value(), row.hero);
    }
}

TEST(EpitopeLibrary, KeepsLast20AndFollowsTheLatestCaller)
{
    QTemporaryDir dir;
    ManualClock clock;
    EpitopeLibrary lib(clock, dir.path());
    QSignalSpy changed(&lib, &EpitopeLibrary::epitopesChanged);
    for (int i = 1; i <= 25; ++i) lib.recordMeasuredAction(QStringLiteral("k"), QStringLiteral("Kind"), OutcomeMetric::memPressureDrop, pressureDrop(i));
    Epitope e = *lib.epitope(QStringLiteral("k"));
    ASSERT_EQ(e.outcomes.size(), 20);
    ASSERT_EQ(e.deltas.size(), 20);
    EXPECT_EQ(e.deltas.first(), 6);
    EXPECT_EQ(e.deltas.last(), 25);
    EXPECT_EQ(e.outcomes.first(), false);  // 6 < 8
    EXPECT_EQ(e.outcomes.last(), true);
    EXPECT_EQ(changed.count(), 25);
    // Seven early failures retired the kind; the automatic successes since only raised its rate.
    EXPECT_EQ(e.state, EpitopeState::retired);
    EXPECT_GT(e.successRate, 0.99);

    // The success threshold is that of the measured outcome: 0.25 GB freed is a success.
    const SampleResult disk = SampleResult::value(MeasuredOutcome{OutcomeMetric::diskFreedGB, QStringLiteral("k"), 0.25, 10, 10.25, clock.now()});
    lib.recordManualAction(QStringLiteral("k"), QStringLiteral("Disk Cleanup"), OutcomeMetric::diskFreedGB, disk);
    e = *lib.epitope(QStringLiteral("k"));
    EXPECT_EQ(e.displayName, QStringLiteral("Disk Cleanup"));
    EXPECT_EQ(e.metric, OutcomeMetric::diskFreedGB);
    // The user's success revives it (the revival path keeps every entry it appends).
    EXPECT_EQ(e.state, EpitopeState::learning);
    EXPECT_EQ(e.successRate, 0.5);
    EXPECT_EQ(e.outcomes.size(), 21);
    EXPECT_EQ(e.deltas.last(), 0.25);
    EXPECT_EQ(lib.heroDelta(), disk.outcome());

    lib.recordMeasuredAction(QStringLiteral("a"), QStringLiteral("A"), OutcomeMetric::cpuDrop, SampleResult::null(QStringLiteral("x")));
    lib.recordMeasuredAction(QStringLiteral("b"), QStringLiteral("B"), OutcomeMetric::cpuDrop, SampleResult::value(MeasuredOutcome{OutcomeMetric::cpuDrop, QStringLiteral("b"), 5, 50, 45, clock.now()}));
    QStringList order;
    for (const Epitope& x : lib.sortedEpitopes()) order << x.id;
    EXPECT_EQ(order, (QStringList{"b", "k", "a"}));
    ASSERT_TRUE(lib.heroDelta().has_value());
    EXPECT_EQ(lib.heroDelta()->epitopeID, QStringLiteral("b"));
    lib.clearHeroDelta();
    EXPECT_FALSE(lib.heroDelta().has_value());
}

TEST(EpitopeLibrary, FileRoundTripsUnderTheAIFolder)
{
    ManualClock clock;
    const QString path = Paths::aiDir() + QStringLiteral("/epitopes.json");
    {
        EpitopeLibrary lib(clock);
        EXPECT_EQ(lib.filePath(), path);
        EXPECT_TRUE(QDir(Paths::aiDir()).exists());  // made at load
        feed(lib, QStringLiteral("SFN"));
        lib.recordManualAction(QStringLiteral("manual:diskclean"), QStringLiteral("Disk Cleanup"), OutcomeMetric::diskFreedGB,
                               SampleResult::value(MeasuredOutcome{OutcomeMetric::diskFreedGB, QStringLiteral("manual:diskclean"), 1.5, 10, 11.5, clock.now()}));
    }
    const QJsonDocument doc = QJsonDocument::fromJson(readAll(path));
    ASSERT_TRUE(doc.isArray());
    ASSERT_EQ(doc.array().size(), 2);
    const QJsonObject first = doc.array().first().toObject();
    EXPECT_EQ(first.keys(), (QStringList{"deltas", "displayName", "id", "lastMeasuredAt", "metric", "outcomes", "state", "successRate"}));
    EXPECT_FALSE(readAll(path).contains('\n'));  // compact
    EXPECT_FALSE(QFile::exists(path + ".tmp"));

    EpitopeLibrary reloaded(clock);
    EXPECT_EQ(reloaded.epitopes().size(), 2);
    const Epitope e = *reloaded.epitope(QStringLiteral("relieve-mem"));
    EXPECT_EQ(e.outcomes, (QList<bool>{true, false, false}));
    EXPECT_EQ(e.deltas, (QList<double>{8.0, 7.9}));
    EXPECT_EQ(e.lastMeasuredAt, clock.now());
    EXPECT_EQ(rawValue(e.metric), QStringLiteral("memPressureDrop"));
    EXPECT_FALSE(reloaded.heroDelta().has_value());  // never persisted
}

TEST(EpitopeLibrary, DamagedOrWrongTypedFilesLoadEmpty)
{
    const QByteArray good = R"({"id":"k","displayName":"K","metric":"cpuDrop","outcomes":[true],"deltas":[6],"successRate":0.65,"state":"learning"})";
    const QByteArray cases[] = {
        "",
        "not json",
        good,  // one object, not an array
        "[" + good + ",1]",
        R"([{"id":"k","displayName":"K","metric":"cpuDrop","outcomes":[true],"deltas":[6],"successRate":"0.65","state":"learning"}])",
        R"([{"id":"k","displayName":"K","metric":"cpuDrop","outcomes":[1],"deltas":[6],"successRate":0.65,"state":"learning"}])",
        R"([{"id":"k","displayName":"K","metric":"cpuDrop","outcomes":[true],"deltas":["6"],"successRate":0.65,"state":"learning"}])",
        R"([{"id":"k","displayName":"K","metric":"cpuDrop","outcomes":[true],"deltas":[6],"successRate":0.65,"state":"sleeping"}])",
        R"([{"id":"k","displayName":"K","metric":"cpu","outcomes":[true],"deltas":[6],"successRate":0.65,"state":"learning"}])",
        R"([{"id":"k","metric":"cpuDrop","outcomes":[true],"deltas":[6],"successRate":0.65,"state":"learning"}])",
        R"([{"id":"k","displayName":"K","metric":"cpuDrop","outcomes":[true],"deltas":[6],"successRate":0.65,"state":"learning","lastMeasuredAt":"today"}])",
    };
    ManualClock clock;
    for (const QByteArray& bytes : cases) {
        QTemporaryDir dir;
        writeAll(dir.path() + "/epitopes.json", bytes);
        EpitopeLibrary lib(clock, dir.path());
        EXPECT_TRUE(lib.epitopes().isEmpty()) << bytes.constData();
    }
    QTemporaryDir missing;
    EXPECT_TRUE(EpitopeLibrary(clock, missing.path() + "/nowhere").epitopes().isEmpty());

    // Sanity: the good entry alone, twice under one id, loads the first.
    QTemporaryDir dir;
    QByteArray second = good;
    second.replace("\"K\"", "\"Second\"");
    writeAll(dir.path() + "/epitopes.json", "[" + good + "," + second + "]");
    EpitopeLibrary lib(clock, dir.path());
    ASSERT_EQ(lib.epitopes().size(), 1);
    EXPECT_EQ(lib.epitope(QStringLiteral("k"))->displayName, QStringLiteral("K"));
    EXPECT_FALSE(lib.epitope(QStringLiteral("k"))->lastMeasuredAt.has_value());
}

TEST(EpitopeLibrary, InterruptedWritesNeverLoseThePreviousFile)
{
    ManualClock clock;
    QTemporaryDir dir;
    const QString path = dir.path() + "/epitopes.json";
    {
        EpitopeLibrary lib(clock, dir.path());
        feed(lib, QStringLiteral("SS"));
    }
    const QByteArray previous = readAll(path);
    ASSERT_FALSE(previous.isEmpty());

    // A crash mid-write leaves a torn temporary file beside the real one.
    writeAll(path + ".tmp", "[{\"id\":\"relieve-m");
    {
        EpitopeLibrary lib(clock, dir.path());
        EXPECT_EQ(lib.epitope(QStringLiteral("relieve-mem"))->outcomes.size(), 2);
        feed(lib, QStringLiteral("F"));
    }
    EXPECT_FALSE(QFile::exists(path + ".tmp"));
    EXPECT_EQ(EpitopeLibrary(clock, dir.path()).epitope(QStringLiteral("relieve-mem"))->outcomes.size(), 3);

    // A save that cannot write its temporary file leaves the last good file as it was.
    const QByteArray good = readAll(path);
    ASSERT_TRUE(QDir().mkpath(path + ".tmp"));
    {
        EpitopeLibrary lib(clock, dir.path());
        feed(lib, QStringLiteral("F"));
        EXPECT_EQ(lib.epitope(QStringLiteral("relieve-mem"))->outcomes.size(), 4);
    }
    EXPECT_EQ(readAll(path), good);
}
