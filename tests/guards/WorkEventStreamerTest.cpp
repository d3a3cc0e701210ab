#include "core/Log.h"
#include "core/Paths.h"
#include "guards/GuardTestFiles.h"
#include "guards/WorkEventStreamer.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <chrono>
#include <mutex>
#include <thread>

using namespace guard_files;
using namespace std::chrono_literals;

namespace {

// Collects the batches the streamer hands on, from its thread.
struct Batches {
    std::mutex mutex;
    std::vector<QSet<QString>> sets;
    std::vector<std::chrono::steady_clock::time_point> times;

    void attach(WorkEventStreamer& s)
    {
        s.onChanges = [this](const QSet<QString>& set) {
            std::lock_guard lock(mutex);
            sets.push_back(set);
            times.push_back(std::chrono::steady_clock::now());
        };
    }
    size_t count()
    {
        std::lock_guard lock(mutex);
        return sets.size();
    }
    bool waitFor(size_t n, std::chrono::milliseconds limit = 5000ms)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (count() < n && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(10ms);
        return count() >= n;
    }
    QSet<QString> all()
    {
        std::lock_guard lock(mutex);
        QSet<QString> out;
        for (const auto& s : sets) out.unite(s);
        return out;
    }
};

struct Streamer : ::testing::Test {
    QString root = Paths::home() + QStringLiteral("/Documents");
    QStringList lines;
    Batches batches;

    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(root));
        Log::setSink([this](const QString& l) { lines << l; });
    }
    void TearDown() override { Log::setSink({}); }

    // Starts and waits until the first walk has watched `folders` folders.
    void begin(WorkEventStreamer& s, int folders)
    {
        batches.attach(s);
        s.start({root});
        const auto end = std::chrono::steady_clock::now() + 5s;
        while (s.watchCount() < folders && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(5ms);
        ASSERT_EQ(s.watchCount(), folders);
    }
};

TEST_F(Streamer, NoFoldersNoStream)
{
    WorkEventStreamer s;
    s.start({});
    EXPECT_FALSE(s.isRunning());
    EXPECT_TRUE(lines.isEmpty());
    s.stop();
}

// A save is handed on once it has settled; later saves are gathered for the latency.
TEST_F(Streamer, FirstSaveArrivesOnceSettledAndLaterOnesAreGathered)
{
    WorkEventStreamer s;  // the real 2 s latency and 1 s settle time
    begin(s, 1);
    EXPECT_EQ(lines, QStringList{QStringLiteral("[WorkGuard] inotify started on 1 roots latency=2.0s")});
    const auto saved = std::chrono::steady_clock::now();
    ASSERT_TRUE(write(root + QStringLiteral("/a.txt"), "1"));
    ASSERT_TRUE(batches.waitFor(1));
    EXPECT_GE(batches.times[0] - saved, 950ms);
    EXPECT_LT(batches.times[0] - saved, 1800ms);
    EXPECT_EQ(batches.sets[0], QSet<QString>{root + QStringLiteral("/a.txt")});

    // A burst within the window arrives once, as one set, about 2 s after the first delivery.
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(write(root + QStringLiteral("/a.txt"), QByteArray::number(i)));
        ASSERT_TRUE(write(root + QStringLiteral("/b.txt"), QByteArray::number(i)));
    }
    ASSERT_TRUE(batches.waitFor(2));
    EXPECT_EQ(batches.sets[1], (QSet<QString>{root + QStringLiteral("/a.txt"), root + QStringLiteral("/b.txt")}));
    EXPECT_GE(batches.times[1] - batches.times[0], 1900ms);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(batches.count(), 2u);
}

TEST_F(Streamer, FiltersWhatWorkGuardHasNoUseFor)
{
    for (const char* d : {"node_modules/pkg", ".git", "Build", "dist", "old"}) ASSERT_TRUE(QDir().mkpath(root + "/" + d));
    ASSERT_TRUE(write(root + QStringLiteral("/old/gone.txt"), "x"));
    ASSERT_TRUE(write(Paths::home() + QStringLiteral("/elsewhere/new/deeper/fresh.md"), "x"));
    WorkEventStreamer s({.latency = 0.2, .settle = 0.3});
    begin(s, 4);  // the root, Build, dist and old: node_modules and .git are skipped

    ASSERT_TRUE(write(root + QStringLiteral("/node_modules/pkg/index.js"), "x"));
    ASSERT_TRUE(write(root + QStringLiteral("/.git/HEAD"), "x"));
    ASSERT_TRUE(write(root + QStringLiteral("/target"), "a file named like a build folder"));
    ASSERT_TRUE(QFile::remove(root + QStringLiteral("/old/gone.txt")));
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/empty-new-folder")));
    ASSERT_TRUE(write(root + QStringLiteral("/Build/kept.txt"), "x"));
    ASSERT_TRUE(write(root + QStringLiteral("/dist/kept.txt"), "x"));
    // A folder moved in is watched; the files it brought are not reported.
    ASSERT_TRUE(QFile::rename(Paths::home() + QStringLiteral("/elsewhere/new"), root + QStringLiteral("/new")));
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(write(root + QStringLiteral("/new/deeper/later.md"), "x"));
    // Our own write is left out.
    s.noteOwnWrite(root + QStringLiteral("/restored.txt"));
    ASSERT_TRUE(write(root + QStringLiteral("/restored.txt"), "x"));

    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(batches.all(), (QSet<QString>{root + QStringLiteral("/Build/kept.txt"), root + QStringLiteral("/dist/kept.txt"),
                                            root + QStringLiteral("/new/deeper/later.md")}));
}

TEST_F(Streamer, RenameReportsOldAndNewPathAndEditorSavesArriveOnce)
{
    ASSERT_TRUE(write(root + QStringLiteral("/draft.md"), "x"));
    ASSERT_TRUE(write(root + QStringLiteral("/essay.md"), "v1"));
    WorkEventStreamer s({.latency = 0.5});
    begin(s, 1);

    ASSERT_TRUE(QFile::rename(root + QStringLiteral("/draft.md"), root + QStringLiteral("/final.md")));
    ASSERT_TRUE(batches.waitFor(1));
    EXPECT_EQ(batches.sets[0], (QSet<QString>{root + QStringLiteral("/draft.md"), root + QStringLiteral("/final.md")}));

    // Write a temporary file, then rename it over the document.
    std::this_thread::sleep_for(600ms);
    ASSERT_TRUE(write(root + QStringLiteral("/.essay.md.tmp"), "v2"));
    ASSERT_EQ(::rename(QFile::encodeName(root + "/.essay.md.tmp").constData(), QFile::encodeName(root + "/essay.md").constData()), 0);
    std::this_thread::sleep_for(1200ms);
    int essay = 0;
    for (const auto& set : batches.sets) essay += set.contains(root + QStringLiteral("/essay.md"));
    EXPECT_EQ(essay, 1);
}

TEST_F(Streamer, WatchLimitIsReportedOnceAndRestartReplacesTheStream)
{
    for (const char* d : {"a", "b", "c", "d/e"}) ASSERT_TRUE(QDir().mkpath(root + "/" + d));
    WorkEventStreamer s({.latency = 0.2, .maxWatches = 2});
    begin(s, 2);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(lines.filter(QStringLiteral("inotify watch limit reached")).size(), 1);
    EXPECT_TRUE(s.isRunning());

    s.start({root});
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(s.watchCount(), 2);
    EXPECT_EQ(lines.filter(QStringLiteral("inotify started")).size(), 2);
    s.stop();
    EXPECT_FALSE(s.isRunning());
    s.stop();
}

}  // namespace
