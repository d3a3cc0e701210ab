// Time of DiskCleaner::directorySize over a generated tree of 200,000 files in nested folders,
// against `du -s -B1` of the same tree in the same run (warm cache, median of 5 each).
// Prints, one per line: the median of directorySize in ms, the median of du in ms, and their
// ratio (below 1 means faster than du).
//
// --window: the whole application on the display it is given (an X server with a window
// manager), its dashboard's Disk tab scanning a home whose npm cache holds SCAN_FILES files
// (default 1,000,000, in folders of 1,000) under the main-loop watchdog; prints the scan's
// time, every main-thread stall longer than the watchdog's bound with what it was in, and the
// longest gap between the ticks of a 10 ms timer on the main thread beyond its interval (a
// wait that is no stall, such as the thread sitting in poll for a late wake-up, shows there).
// SCAN_HOME names a home that already holds the tree (it is made there when missing).
#include "actions/DiskCleaner.h"
#include "app/AppContext.h"
#include "app/AppDelegate.h"
#include "core/MainLoopWatchdog.h"
#include "ui/dashboard/DashboardWindowController.h"
#include "ui/dashboard/DetailedView.h"
#include "ui/dashboard/DiskCleanerView.h"

#include <QApplication>
#include <QPushButton>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kTop = 10, kMiddle = 10, kLeaf = 20, kFilesPerLeaf = 100;  // 200,000 files
constexpr int kRounds = 5;

bool generate(const QString& root)
{
    const QByteArray payload(700, 'x');
    for (int a = 0; a < kTop; ++a) {
        for (int b = 0; b < kMiddle; ++b) {
            for (int c = 0; c < kLeaf; ++c) {
                const QString dir = QStringLiteral("%1/t%2/m%3/l%4").arg(root).arg(a).arg(b).arg(c);
                if (!QDir().mkpath(dir)) return false;
                const QByteArray base = QFile::encodeName(dir);
                for (int f = 0; f < kFilesPerLeaf; ++f) {
                    const QByteArray path = base + "/f" + QByteArray::number(f) + ".bin";
                    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                    if (fd < 0) return false;
                    // Sizes vary so the sums are not all one block.
                    const ssize_t n = ::write(fd, payload.constData(), 1 + (f * 37) % payload.size());
                    ::close(fd);
                    if (n < 0) return false;
                }
            }
        }
    }
    return true;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F>
double timeMs(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

bool runDu(const QString& root)
{
    QProcess du;
    du.setProcessChannelMode(QProcess::SeparateChannels);
    du.start(QStringLiteral("du"), {QStringLiteral("-s"), QStringLiteral("-B1"), root});
    if (!du.waitForFinished(120000)) return false;
    du.readAllStandardOutput();
    du.readAllStandardError();
    return du.exitStatus() == QProcess::NormalExit && du.exitCode() == 0;
}

// A cache of `files` files in folders of 1,000 under `home`, made unless it is there.
bool generateCache(const QString& home, int files)
{
    const QString cache = home + QStringLiteral("/.npm/_cacache/bench");
    const QString done = cache + QStringLiteral("/.complete-%1").arg(files);
    if (QFile::exists(done)) return true;
    const QByteArray payload(100, 'x');
    for (int d = 0; d * 1000 < files; ++d) {
        const QByteArray folder = QFile::encodeName(cache + QStringLiteral("/d%1").arg(d, 4, 10, QLatin1Char('0')));
        if (!QDir().mkpath(QString::fromLocal8Bit(folder))) return false;
        for (int f = 0; f < 1000 && d * 1000 + f < files; ++f) {
            const QByteArray path = folder + "/f" + QByteArray::number(f) + ".bin";
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd < 0) return false;
            const ssize_t n = ::write(fd, payload.constData(), size_t(payload.size()));
            ::close(fd);
            if (n < 0) return false;
        }
    }
    QFile mark(done);
    return mark.open(QIODevice::WriteOnly);
}

// Runs the loop until `done` or the time is up.
bool runUntil(const std::function<bool()>& done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

void runFor(int ms)
{
    runUntil([] { return false; }, ms);
}

int window(int argc, char** argv)
{
    const int files = qEnvironmentVariableIsSet("SCAN_FILES") ? qEnvironmentVariableIntValue("SCAN_FILES") : 1'000'000;
    QTemporaryDir made(QDir::tempPath() + QStringLiteral("/veltranmoor-bench-scan-home-XXXXXX"));
    const QString home = qEnvironmentVariableIsSet("SCAN_HOME") ? qEnvironmentVariable("SCAN_HOME") : made.path();
    if (!generateCache(home, files)) {
        std::fprintf(stderr, "cannot generate the tree\n");
        return 1;
    }
    for (const auto& [name, sub] : {std::pair{"HOME", ""}, {"XDG_CONFIG_HOME", "/.config"}, {"XDG_DATA_HOME", "/.local/share"},
                                    {"XDG_CACHE_HOME", "/.cache"}, {"XDG_STATE_HOME", "/.local/state"}}) {
        qputenv(name, QFile::encodeName(home + QString::fromLatin1(sub)));
    }
    // The first run's questions answered, so that no prompt holds the loop.
    QDir().mkpath(home + QStringLiteral("/.config/Veltranmoor"));
    QFile settings(home + QStringLiteral("/.config/Veltranmoor/settings.json"));
    QJsonObject values;
    if (settings.open(QIODevice::ReadOnly)) values = QJsonDocument::fromJson(settings.readAll()).object();
    settings.close();
    values.insert(QStringLiteral("telemetryConsentDecided"), true);
    if (settings.open(QIODevice::WriteOnly | QIODevice::Truncate)) settings.write(QJsonDocument(values).toJson());
    settings.close();
    WatchedApplication<QApplication> app(argc, argv);
    MainLoopWatchdog& watchdog = MainLoopWatchdog::instance();
    QList<MainLoopWatchdog::Stall> stalls;
    watchdog.setReporter([&](const MainLoopWatchdog::Stall& stall) { stalls.append(stall); });
    AppContext context;
    context.delegate().applicationDidFinishLaunching();
    context.dashboard().open();
    runFor(3000);
    DetailedView* dashboard = context.dashboard().window();
    if (dashboard) dashboard->selectTab(DashboardTab::disk);
    runFor(1000);
    DiskCleanerView* view = dashboard ? dashboard->findChild<DiskCleanerView*>() : nullptr;
    if (!view) {
        std::fprintf(stderr, "no Disk tab\n");
        return 1;
    }
    // The loop's own lateness: a precise 10 ms timer on the main thread. A gap between its ticks
    // well over 10 ms is a time the window could not answer, whether the thread was busy (a
    // stall the watchdog names) or sat in poll while a wake-up came late.
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(10);
    QElapsedTimer sinceTick;
    double longestGap = 0;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, double(sinceTick.nsecsElapsed()) / 1e6 - 10);
        sinceTick.restart();
    });
    stalls.clear();
    const auto start = std::chrono::steady_clock::now();
    sinceTick.start();
    probe.start();
    view->scanButton()->click();
    const bool finished = runUntil([&] { return view->hasScanned(); }, 600000);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    runFor(2000);
    probe.stop();
    std::printf("window_scan_files %d\n", files);
    std::printf("window_scan_ms %.0f%s\n", ms, finished ? "" : " (unfinished)");
    std::printf("watchdog_bound_ms %d\n", watchdog.boundMs());
    double longest = 0;
    for (const MainLoopWatchdog::Stall& stall : stalls) {
        longest = std::max(longest, stall.ms);
        std::printf("stall_ms %.0f in %s\n", stall.ms, qPrintable(stall.what));
    }
    std::printf("stalls %lld\nlongest_stall_ms %.0f\n", (long long)stalls.size(), longest);
    std::printf("longest_loop_gap_ms %.0f\n", longestGap);
    std::fflush(stdout);
    context.delegate().applicationWillTerminate();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--window") return window(argc, argv);
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp(QDir::tempPath() + QStringLiteral("/veltranmoor-bench-scan-XXXXXX"));
    if (!tmp.isValid() || !generate(tmp.path())) {
        std::fprintf(stderr, "cannot generate the tree\n");
        return 1;
    }
    const QString root = tmp.path();

    // Warm the dentry and inode caches for both.
    volatile uint64_t sink = DiskCleaner::directorySize(root);
    if (!runDu(root)) {
        std::fprintf(stderr, "du failed\n");
        return 1;
    }

    std::vector<double> ours, theirs;
    for (int i = 0; i < kRounds; ++i) {
        ours.push_back(timeMs([&] { sink = DiskCleaner::directorySize(root); }));
        theirs.push_back(timeMs([&] { runDu(root); }));
    }
    (void)sink;

    const double a = median(ours), b = median(theirs);
    std::printf("directory_size_ms %.1f\ndu_ms %.1f\nratio_directory_size_to_du %.2f\n", a, b, a / b);
    return 0;  // the QTemporaryDir removes the tree
}
