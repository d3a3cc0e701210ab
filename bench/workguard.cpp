// Work Guard's figures, in a private temporary home. Prints, one per line:
// - the time of one warm sweep over 20,000 files in 6 folder levels under ~/Documents (ms), and
//   the longest the main thread went without running its 5 ms timer meanwhile (ms);
// - the time from a save to its revision on disk (ms): the first save after a quiet spell, and
//   a save made just after a delivery, which waits out the 2 s gathering window;
// - the store's size after 100 saves of a 1 MiB file, 31 s apart (bytes, apparent and on disk);
// - the recovery window opened over 500 and over 10,000 protected files, each in a child process
//   of its own (offscreen): the longest the main thread was busy with one event, the time until
//   the list was filled and the newest file's revisions shown, and the memory it took (KiB).
// - a checkout writing 10,000 files under ~/Documents (by a child process) while the guard runs:
//   the guard's CPU seconds, and the buckets and bytes the store gained;
// - the resident memory before and after one sweep over 200,000 files (KiB).
#include "BenchClock.h"

#include "core/Clock.h"
#include "core/Scheduler.h"
#include "guards/WorkGuard.h"

#include "core/UserDefaults.h"
#include "guards/WorkRecovery.h"
#include "guards/WorkSnapshotter.h"
#include "ui/recovery/RecoveryView.h"
#include "ui/theme/ThemeManager.h"

#include <QApplication>
#include <QCoreApplication>
#include <QProcess>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

// 20,000 files: 5 top folders, each a chain of 5 more levels, 4 leaves per level.
bool generateTree(const QString& root)
{
    int files = 0;
    for (int a = 0; a < 5; ++a) {
        QString dir = root + QStringLiteral("/project%1").arg(a);
        for (int level = 0; level < 6; ++level) {
            for (int leaf = 0; leaf < 4 && files < 20000; ++leaf) {
                const QString folder = dir + QStringLiteral("/leaf%1").arg(leaf);
                if (!QDir().mkpath(folder)) return false;
                for (int f = 0; f < 167 && files < 20000; ++f, ++files) {
                    if (!writeFile(folder + QStringLiteral("/note%1.md").arg(f), QByteArray(200 + f, 'n'))) return false;
                }
            }
            dir += QStringLiteral("/level%1").arg(level);
        }
    }
    return files == 20000;
}

// Bytes below `root`: apparent sizes, and blocks on disk.
std::pair<qint64, qint64> storeSize(const QString& root)
{
    qint64 apparent = 0, allocated = 0;
    QDir top(root);
    for (const QString& bucket : top.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        QDir b(root + QLatin1Char('/') + bucket);
        for (const QString& name : b.entryList(QDir::Files | QDir::Hidden)) {
            struct stat st;
            if (::stat(QFile::encodeName(b.filePath(name)).constData(), &st) == 0) {
                apparent += st.st_size;
                allocated += qint64(st.st_blocks) * 512;
            }
        }
    }
    return {apparent, allocated};
}

// The recovery window's figures: an application that times each event it delivers on the main
// thread, from the window's showing until its list is filled.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    double longestMs = 0;
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (m_depth > 0 || QThread::currentThread() != thread()) return QApplication::notify(receiver, event);
        ++m_depth;
        const double start = bench::monotonicMs();
        const bool done = QApplication::notify(receiver, event);
        longestMs = std::max(longestMs, bench::monotonicMs() - start);
        --m_depth;
        return done;
    }

private:
    int m_depth = 0;
};

// Child: a store of `files` protected files, one revision each, then the window opened over it.
int recoveryWindowChild(int argc, char** argv, int files)
{
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/veltranmoor-bench-XXXXXX"));
    if (!home.isValid()) return 2;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/.local/share")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/.config")));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    SystemClock clock;
    WorkSnapshotter store(clock);
    const qint64 base = QDateTime::currentSecsSinceEpoch() - 2 * 86400;
    for (int i = 0; i < files; ++i) {
        const QString path = home.path() + QStringLiteral("/Documents/project%1/note%2.md").arg(i / 100).arg(i);
        const QString bucket = store.snapshotsRoot() + QLatin1Char('/') + WorkSnapshotter::bucketName(path);
        QDir().mkpath(bucket);
        const QString revision = bucket + QStringLiteral("/2026-12-09T07:48:03.512Z.md");
        if (!writeFile(bucket + QStringLiteral("/manifest.txt"), path.toUtf8() + '\n') ||
            !writeFile(revision, QByteArray(2048, 'r')))
            return 1;
        const struct timespec t[2] = {{base + i, 0}, {base + i, 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(revision).constData(), t, 0);
    }
    WorkRecovery recovery(store.snapshotsRoot(), clock);
    TimedApplication app(argc, argv);
    UserDefaults defaults(home.path() + QStringLiteral("/settings.json"));
    ThemeManager themes(defaults);
    const long rssBefore = bench::residentKb();
    RecoveryView view({.recovery = recovery, .clock = clock, .themes = themes, .revealFile = {}});
    QTimer tick;  // wakes the loop while the store is read
    tick.start(5);
    const double start = bench::monotonicMs();
    app.longestMs = 0;
    view.show();
    while (view.isBusy() || view.entries().size() != files || view.revisions().isEmpty())
        app.processEvents(QEventLoop::WaitForMoreEvents);
    const double filled = bench::monotonicMs() - start;
    app.processEvents();
    std::printf("recovery_open_%d_files_longest_main_thread_block_ms %.1f\n"
                "recovery_open_%d_files_until_filled_ms %.1f\n"
                "recovery_open_%d_files_rss_added_kb %ld\n",
                files, app.longestMs, files, filled, files, bench::residentKb() - rssBefore);
    return 0;
}

void recoveryWindowFigures(const char* self)
{
    QFile loadavg(QStringLiteral("/proc/loadavg"));
    if (loadavg.open(QIODevice::ReadOnly))
        std::printf("machine_load_1min %s\n", loadavg.readAll().split(' ').value(0).constData());
    for (const int files : {500, 10000}) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QString::fromLocal8Bit(self), {QStringLiteral("--recovery-window"), QString::number(files)});
        if (!child.waitForFinished(300'000) || child.exitCode() != 0) {
            std::fprintf(stderr, "the recovery window child for %d files failed\n", files);
            continue;
        }
        std::fputs(child.readAllStandardOutput().constData(), stdout);
    }
    std::fflush(stdout);
}

// A clock moved by hand: saves 31 s apart without waiting for them.
class StepClock final : public Clock {
public:
    QDateTime now() const override { return m_now; }
    void advance(int seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now = QDateTime::currentDateTimeUtc();
};

int bucketCount(const QString& root)
{
    return QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden).size();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--recovery-window") == 0) return recoveryWindowChild(argc, argv, std::atoi(argv[2]));
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/veltranmoor-bench-XXXXXX"));
    if (!home.isValid()) return 2;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/.local/share")));
    QCoreApplication app(argc, argv);
    const QString documents = home.path() + QStringLiteral("/Documents");
    QDir().mkpath(documents);
    QDir().mkpath(home.path() + QStringLiteral("/Desktop"));
    if (!generateTree(documents)) {
        std::fprintf(stderr, "cannot generate the tree\n");
        return 1;
    }

    SystemClock clock;
    QtScheduler scheduler;
    {
        WorkGuard guard({.clock = clock, .scheduler = scheduler});
        // A first sweep fills the store with the top 50 and warms the caches.
        guard.runSweep(QStringLiteral("startup"));

        // The warm sweep runs on the guard's queue while the main thread keeps a 5 ms timer.
        double longestGap = 0;
        double lastTick = bench::monotonicMs();
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const double now = bench::monotonicMs();
            longestGap = std::max(longestGap, now - lastTick);
            lastTick = now;
        });
        ticker.start(5);
        double sweepMs = 0;
        bool done = false;
        guard.queue().async([&] {
            const double start = bench::monotonicMs();
            guard.runSweep(QStringLiteral("periodic"));
            sweepMs = bench::monotonicMs() - start;
            QMetaObject::invokeMethod(&app, [&] { done = true; }, Qt::QueuedConnection);
        });
        while (!done) app.processEvents(QEventLoop::WaitForMoreEvents);
        ticker.stop();
        std::printf("sweep_20000_files_warm_ms %.1f\nsweep_main_thread_longest_gap_ms %.1f\n", sweepMs, longestGap);
    }

    {
        QDir(documents).removeRecursively();
        QDir().mkpath(documents);
        WorkGuard guard({.clock = clock, .scheduler = scheduler});
        guard.start();
        guard.queue().sync([] {});
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the watches are in place
        const auto timeSave = [&](const QString& name) {
            const QString path = documents + QLatin1Char('/') + name;
            const QString bucket = guard.snapshotter().bucketURL(path);
            const double start = bench::monotonicMs();
            writeFile(path, QByteArray(64 * 1024, 's'));
            while (!QFile::exists(bucket + QStringLiteral("/manifest.txt")) && bench::monotonicMs() - start < 10'000)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return bench::monotonicMs() - start;
        };
        const double first = timeSave(QStringLiteral("first.md"));
        const double inWindow = timeSave(QStringLiteral("second.md"));
        std::printf("save_to_revision_first_ms %.1f\nsave_to_revision_within_window_ms %.1f\n", first, inWindow);
        guard.stop();
    }

    {
        StepClock storeClock;
        WorkSnapshotter store(storeClock, home.path() + QStringLiteral("/store"));
        const QString path = documents + QStringLiteral("/thesis.pdf");
        QByteArray content(1 << 20, '\0');
        const qint64 base = QDateTime::currentSecsSinceEpoch() - 100 * 31;
        int written = 0;
        for (int i = 0; i < 100; ++i) {
            for (int j = 0; j < content.size(); j += 4096) content[j] = char(i + j / 4096);
            writeFile(path, content);
            const struct timespec t[2] = {{base + 31 * i, 0}, {base + 31 * i, 0}};
            ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), t, 0);
            storeClock.advance(31);
            written += bool(store.snapshotFile(path, WorkGuard::snapshotsPerFile, WorkGuard::maxFileBytesToSnapshot,
                                               WorkGuard::minMtimeDeltaForNewSnapshot));
        }
        const auto [apparent, allocated] = storeSize(store.snapshotsRoot());
        std::printf("store_revisions_written_of_100_saves %d\nstore_bytes_after_100_saves_1MiB %lld\n"
                    "store_bytes_on_disk_after_100_saves_1MiB %lld\n",
                    written, (long long)apparent, (long long)allocated);
    }
    recoveryWindowFigures(argv[0]);

    {
        // A checkout: 10,000 files written by another process into a watched folder.
        QDir(documents).removeRecursively();
        QDir().mkpath(documents + QStringLiteral("/repo/src"));
        WorkGuard guard({.clock = clock, .scheduler = scheduler});
        guard.start();
        guard.queue().sync([] {});
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const int bucketsBefore = bucketCount(guard.snapshotsRoot());
        const qint64 bytesBefore = storeSize(guard.snapshotsRoot()).first;
        const double cpuBefore = bench::cpuSeconds();
        const pid_t child = ::fork();
        if (child == 0) {
            for (int i = 0; i < 10000; ++i) {
                const QByteArray path = QFile::encodeName(documents + QStringLiteral("/repo/src/module%1.c").arg(i));
                const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                const QByteArray text = "int f" + QByteArray::number(i) + "(void) { return " + QByteArray::number(i) + "; }\n";
                if (fd >= 0 && ::write(fd, text.constData(), size_t(text.size())) < 0) ::_exit(1);
                if (fd >= 0) ::close(fd);
            }
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        // Until the stream has delivered and the queue is idle: nothing new for 4 s.
        int lastCount = -1;
        for (int quiet = 0; quiet < 8;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            guard.queue().sync([] {});
            app.processEvents();
            const int count = bucketCount(guard.snapshotsRoot());
            quiet = count == lastCount ? quiet + 1 : 0;
            lastCount = count;
        }
        const double cpu = bench::cpuSeconds() - cpuBefore;
        guard.stop();
        std::printf("checkout_10000_files_guard_cpu_s %.2f\ncheckout_10000_files_buckets_added %d\n"
                    "checkout_10000_files_store_bytes_added %lld\n",
                    cpu, bucketCount(guard.snapshotsRoot()) - bucketsBefore,
                    (long long)(storeSize(guard.snapshotsRoot()).first - bytesBefore));
    }

    {
        // 200,000 files: 50 projects of 20 folders of 200 files.
        QDir(documents).removeRecursively();
        for (int p = 0; p < 50; ++p) {
            for (int d = 0; d < 20; ++d) {
                const QString folder = documents + QStringLiteral("/p%1/d%2").arg(p).arg(d);
                QDir().mkpath(folder);
                const QByteArray native = QFile::encodeName(folder);
                for (int f = 0; f < 200; ++f) {
                    const QByteArray path = native + "/file" + QByteArray::number(f) + ".txt";
                    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                    if (fd >= 0) ::close(fd);
                }
            }
        }
        WorkGuard guard({.clock = clock, .scheduler = scheduler});
        guard.queue().sync([] {});
        const long before = bench::residentKb();
        guard.queue().sync([&] { guard.runSweep(QStringLiteral("periodic")); });
        app.processEvents();
        const long after = bench::residentKb();
        std::printf("rss_before_sweep_200000_files_kib %ld\nrss_after_sweep_200000_files_kib %ld\n", before, after);
    }
    return 0;
}
