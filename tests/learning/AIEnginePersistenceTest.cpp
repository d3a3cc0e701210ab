// The five history files: round trip, damaged files, the temporary sibling, kill -9.
#include "LearningRig.h"

#include "core/Json.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <csignal>
#include <thread>

using namespace learning;
using namespace std::chrono_literals;

namespace {

const QStringList fileNames = {QStringLiteral("process_baselines.json"), QStringLiteral("disk_history.json"),
                               QStringLiteral("memory_history.json"), QStringLiteral("throttle_stats.json"),
                               QStringLiteral("hourly_snapshots.json")};

void writeRaw(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readRaw(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Sizes of the five loaded collections, in file order.
QList<qsizetype> loadedSizes(EngineRig& rig)
{
    return rig.onQueue([](AIEngine::LearningState& s) {
        qsizetype hourly = 0;
        for (const auto& l : s.hourlySnapshots) hourly += l.size();
        return QList<qsizetype>{s.baselinesInternal.size(), s.diskGrowthHistory.size(), s.memoryPressureHistory.size(),
                                s.throttleEffectiveness.size(), hourly};
    });
}

// 30 samples of a small machine, with a judged throttle, so all five files have content.
void learnSomething(EngineRig& rig)
{
    for (int i = 0; i < 30; ++i) {
        PerformanceSnapshot s = snap(20 + i, 50 + i * 0.5, 1000 + i, 5000);
        rig.feed(s, {proc(1, "editor", 3 + i % 4, 300 + i), proc(2, "spin", i < 4 ? 95 : 20, 60)});
        if (i == 3) rig.engine->throttleSucceeded(proc(2, "spin", 95, 60));
        rig.clock.advance(10s);
    }
    rig.settle();
}

}  // namespace

TEST(AIEnginePersistence, FilesRoundTripThroughARestart)
{
    EngineRig rig;
    learnSomething(rig);
    const AIEngine::LearningState before = rig.onQueue([](AIEngine::LearningState& s) { return s; });
    ASSERT_EQ(before.throttleEffectiveness.value(QStringLiteral("spin")), (ThrottleStats{1, 1}));
    for (const QString& name : fileNames) {
        EXPECT_TRUE(QFile::exists(QDir(rig.aiDir()).filePath(name))) << name.toStdString();
        EXPECT_FALSE(QFile::exists(QDir(rig.aiDir()).filePath(name + QStringLiteral(".tmp")))) << name.toStdString();
    }
    const auto hourlyFile = Json::readFile(QDir(rig.aiDir()).filePath(QStringLiteral("hourly_snapshots.json")));
    ASSERT_TRUE(hourlyFile && hourlyFile->isArray());
    const QJsonObject first = hourlyFile->array().first().toObject();
    EXPECT_TRUE(first.value(QStringLiteral("hour")).isDouble());
    EXPECT_TRUE(first.value(QStringLiteral("observation")).toObject().contains(QStringLiteral("diskPercent")));

    rig.start();
    const AIEngine::LearningState after = rig.onQueue([](AIEngine::LearningState& s) { return s; });
    EXPECT_EQ(after.baselinesInternal, before.baselinesInternal);
    EXPECT_EQ(after.diskGrowthHistory, before.diskGrowthHistory);
    EXPECT_EQ(after.memoryPressureHistory, before.memoryPressureHistory);
    EXPECT_EQ(after.throttleEffectiveness, before.throttleEffectiveness);
    EXPECT_EQ(after.hourlySnapshots, before.hourlySnapshots);
    EXPECT_EQ(after.observationCount, 0) << "not persisted";
    EXPECT_TRUE(after.memoryTracker.isEmpty());
    rig.main.drain();
    EXPECT_EQ(rig.engine->processBaselineCount(), 2) << "the loaded baselines are published";
    EXPECT_EQ(rig.engine->systemPersonality(), QStringLiteral("Learning..."));
}

TEST(AIEnginePersistence, HourlyRecordsGroupByHourInFileOrder)
{
    EngineRig rig;
    auto record = [](int hour, double cpu) {
        return QJsonObject{{QStringLiteral("hour"), hour},
                           {QStringLiteral("observation"),
                            QJsonObject{{QStringLiteral("timestamp"), 700000000.5},
                                        {QStringLiteral("cpuUsage"), cpu},
                                        {QStringLiteral("memoryPressure"), 1},
                                        {QStringLiteral("diskPercent"), 2}}}};
    };
    const QJsonArray records = {record(9, 1), record(23, 2), record(9, 3), record(9, 4)};
    writeRaw(QDir(rig.aiDir()).filePath(QStringLiteral("hourly_snapshots.json")), QJsonDocument(records).toJson());
    writeRaw(QDir(rig.aiDir()).filePath(QStringLiteral("throttle_stats.json")), "{}");
    rig.start();
    const HourlySnapshots hourly = rig.onQueue([](AIEngine::LearningState& s) { return s.hourlySnapshots; });
    ASSERT_EQ(hourly.keys(), (QList<int>{9, 23}));
    EXPECT_EQ(hourly[9].size(), 3);
    EXPECT_EQ(hourly[9][1].cpuUsage, 3);
    EXPECT_EQ(hourly[23][0].cpuUsage, 2);

    // A baseline's hour is written as a decimal string key.
    const QByteArray text = AIRecordsJson::encodeBaselines(
        {{QStringLiteral("x \"q\"\n"), ProcessBaseline{.processName = QStringLiteral("x \"q\"\n"), .hourlyAvgCPU = {{9, 12.5}}}}});
    EXPECT_TRUE(text.contains("\"hourlyAvgCPU\":{\"9\":12.5}")) << text.toStdString();
    const QJsonDocument doc = QJsonDocument::fromJson(text);
    EXPECT_EQ(doc.object()[QStringLiteral("x \"q\"\n")].toObject()[QStringLiteral("hourlyAvgCPU")].toObject(),
              QJsonObject({{QStringLiteral("9"), 12.5}}));
}

TEST(AIEnginePersistence, ADamagedFileLoadsAsEmptyAndTheOthersStillLoad)
{
    EngineRig source;
    learnSomething(source);
    QHash<QString, QByteArray> good;
    for (const QString& name : fileNames) good.insert(name, readRaw(QDir(source.aiDir()).filePath(name)));

    // A field of each file that every record holds.
    const QHash<QString, QByteArray> field = {{fileNames[0], "\"avgCPU\":"},    {fileNames[1], "\"usedBytes\":"},
                                              {fileNames[2], "\"pressure\":"},  {fileNames[3], "\"attempts\":"},
                                              {fileNames[4], "\"cpuUsage\":"}};
    using Damage = std::function<std::optional<QByteArray>(const QString&, QByteArray)>;
    const QList<QPair<const char*, Damage>> damages = {
        {"not JSON", [](const QString&, QByteArray) { return QByteArray("\x01\x02garbage{"); }},
        {"truncated", [](const QString&, QByteArray b) { return b.left(b.size() / 2); }},
        {"empty", [](const QString&, QByteArray) { return QByteArray(); }},
        // Grown past 32 MiB after it is written (below), without writing that much.
        {"huge", [](const QString&, QByteArray b) { return b + ' '; }},
        {"wrong top type", [](const QString&, QByteArray b) { return b.startsWith('[') ? QByteArray("{}") : QByteArray("[]"); }},
        {"wrong field type", [&](const QString& name, QByteArray b) {
             const QByteArray key = field[name];
             const qsizetype at = b.indexOf(key);
             return b.replace(at, key.size(), key + "\"x\",\"ignored\":");
         }},
        {"missing field", [&](const QString& name, QByteArray b) { return b.replace(field[name], "\"renamed\":"); }},
        {"hour out of range", [](const QString& name, QByteArray b) -> std::optional<QByteArray> {
             if (name == fileNames[4]) return b.replace("\"hour\":12", "\"hour\":99");
             if (name == fileNames[0]) return b.replace("\"12\":", "\"24\":");
             return std::nullopt;
         }},
    };
    for (const auto& [what, damage] : damages) {
        for (qsizetype f = 0; f < fileNames.size(); ++f) {
            const std::optional<QByteArray> damaged = damage(fileNames[f], good[fileNames[f]]);
            if (!damaged) continue;
            ASSERT_NE(*damaged, good[fileNames[f]]) << what;
            EngineRig rig;
            for (const QString& name : fileNames) writeRaw(QDir(rig.aiDir()).filePath(name), name == fileNames[f] ? *damaged : good[name]);
            if (QByteArray(what) == "huge") {
                ASSERT_TRUE(QFile(QDir(rig.aiDir()).filePath(fileNames[f])).resize(33 * 1024 * 1024));
            }
            rig.start();
            const QList<qsizetype> sizes = loadedSizes(rig);
            for (qsizetype g = 0; g < fileNames.size(); ++g) {
                if (g == f) {
                    EXPECT_EQ(sizes[g], 0) << what << " " << fileNames[f].toStdString();
                } else {
                    EXPECT_GT(sizes[g], 0) << what << " " << fileNames[f].toStdString() << " spoilt "
                                           << fileNames[g].toStdString();
                }
            }
        }
    }
}

// Runs only as the child of the kill -9 test: saves two alternating states until killed.
TEST(AIEngineSaveLoop, SavesUntilKilled)
{
    const QString dir = qEnvironmentVariable("VM_AI_SAVE_LOOP_DIR");
    if (dir.isEmpty()) GTEST_SKIP() << "started by AIEnginePersistence.KillDuringSaveLeavesOldOrNew";
    EngineRig rig(dir);
    for (int round = 0;; ++round) {
        rig.withState([&](AIEngine::LearningState& s) {
            s.baselinesInternal.clear();
            s.diskGrowthHistory.clear();
            const int n = round % 2 ? 400 : 50;
            for (int i = 0; i < n; ++i) {
                const QString name = QStringLiteral("p%1").arg(i);
                s.baselinesInternal.insert(name, ProcessBaseline{.processName = name, .sampleCount = n});
                s.diskGrowthHistory.append({QDateTime::currentDateTimeUtc(), uint64_t(n)});
            }
        });
        rig.engine->syncOnQueue([&] { rig.engine->savePersistedState(); });
    }
}

TEST(AIEnginePersistence, KillDuringSaveLeavesOldOrNew)
{
    QTemporaryDir dir;
    qputenv("VM_AI_SAVE_LOOP_DIR", QFile::encodeName(dir.path()));
    const QString baselines = dir.filePath(QStringLiteral("process_baselines.json"));
    const QString disk = dir.filePath(QStringLiteral("disk_history.json"));
    for (int attempt = 0; attempt < 6; ++attempt) {
        ChildProcess child({QCoreApplication::applicationFilePath(),
                            QStringLiteral("--gtest_filter=AIEngineSaveLoop.SavesUntilKilled")});
        ASSERT_TRUE(child.started());
        QDeadlineTimer deadline(20000);
        while (!QFile::exists(disk) && !deadline.hasExpired()) std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(QFile::exists(disk));
        std::this_thread::sleep_for(std::chrono::milliseconds(40 + 37 * attempt));
        ::kill(child.pid(), SIGKILL);
        ASSERT_TRUE(child.waitForExit(5s));

        // Each file is a whole state: one of the two the child wrote, never a torn mix.
        const auto b = AIRecordsJson::decodeBaselines(Json::readFile(baselines).value_or(QJsonDocument()));
        ASSERT_TRUE(b) << attempt;
        ASSERT_TRUE(b->size() == 50 || b->size() == 400) << b->size();
        for (const ProcessBaseline& p : *b) EXPECT_EQ(p.sampleCount, b->size());
        const auto d = AIRecordsJson::decodeDiskHistory(Json::readFile(disk).value_or(QJsonDocument()));
        ASSERT_TRUE(d) << attempt;
        ASSERT_TRUE(d->size() == 50 || d->size() == 400) << d->size();
        for (const DiskHistoryEntry& e : *d) EXPECT_EQ(e.usedBytes, uint64_t(d->size()));
    }
    qunsetenv("VM_AI_SAVE_LOOP_DIR");
}
