// The dashboard's cost: time from process start to its first painted frame (offscreen), then,
// with the window left open at the default timers for 60 s, resident memory at the end and the
// process's CPU time over those seconds as a percentage of one core.
// The parent spawns this program again as the application and reads the child's figures.
// Then, in a second child, the record lists: opening the History tab with 500 records, one
// more record arriving while it is open, and the Processes tab taking one sample of 30 rows.
// Last, in a third child, the desktop HUD shown alone for the same seconds: its CPU share, then
// the CPU time of one frame of each of its recurring animations.
// Finally the dashboard open and the HUD shown at the same time, each in a process and a home of
// its own, measured over the same seconds after a 20 s warm-up and repeated three times: the
// medians and the HUD's share against the dashboard's, which the load of the machine moves for
// both alike. Beside those two, the HUD with its hero card hidden, the HUD showing a measured
// improvement, and an empty timer at the card's breathing rate.
#include "app/AppContext.h"
#include "monitoring/PerformanceMonitor.h"
#include "ui/dashboard/DashboardWindowController.h"
#include "ui/dashboard/HistoryTab.h"
#include "ui/dashboard/ProcessesTab.h"
#include "ui/dashboard/TextView.h"
#include "ui/shell/DesktopHUDController.h"
#include "ui/shell/HeroDeltaView.h"
#include "ui/theme/HexGauge.h"

#include <QApplication>
#include <QListView>
#include <QVBoxLayout>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <spawn.h>
#include <string>
#include <vector>
#include <algorithm>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

#include "BenchClock.h"

using bench::cpuSeconds;
using bench::monotonicMs;
using bench::residentKb;

namespace {

// Seconds after the first frame before the measured period starts (--warmup N; default 0),
// so that start-up work is left out of a side-by-side comparison.
int g_warmupSeconds = 0;
int warmupSeconds() { return g_warmupSeconds; }

int child(int argc, char** argv, int seconds)
{
    QApplication app(argc, argv);
    AppContext context;
    DashboardWindowController& dashboard = context.dashboard();
    double firstFrame = 0;
    double cpuAtOpen = 0;
    double wallAtOpen = 0;
    QObject::connect(&dashboard, &DashboardWindowController::firstFramePainted, &app, [&] {
        firstFrame = monotonicMs();
        QTimer::singleShot(warmupSeconds() * 1000, &app, [&, seconds] {
            cpuAtOpen = cpuSeconds();
            wallAtOpen = monotonicMs();
            QTimer::singleShot(seconds * 1000, &app, [] { QCoreApplication::quit(); });
        });
    });
    QTimer::singleShot(0, &app, [&] {
        context.delegate().applicationDidFinishLaunching();
        dashboard.open();
    });
    QApplication::exec();
    const double cpuPercent = (cpuSeconds() - cpuAtOpen) / ((monotonicMs() - wallAtOpen) / 1e3) * 100.0;
    std::printf("%.3f %ld %.3f\n", firstFrame, residentKb(), cpuPercent);
    std::fflush(stdout);
    context.delegate().applicationWillTerminate();
    return 0;
}

// The desktop HUD shown alone at the default timers (no other window open): the process's CPU
// time over `seconds` from the panel's first painted frame, as a percentage of one core. The hero
// card is as a new home has it (awaiting its first measured outcome, its floor breathing), or
// hidden as soon as the panel is shown, which stops its breathing (what the panel costs apart
// from that animation), or showing a measured improvement (a gold number, which breathes only
// with a palette that glows; the default one does not).
enum class Card { awaiting, hidden, gold };
int hud(int argc, char** argv, int seconds, Card cardState)
{
    QApplication app(argc, argv);
    AppContext context;
    double cpuAtOpen = 0;
    double wallAtOpen = 0;
    struct FirstPaint : QObject {
        std::function<void()> painted;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Paint && painted) {
                watched->removeEventFilter(this);
                auto done = std::move(painted);
                painted = {};
                QTimer::singleShot(0, this, done);
            }
            return false;
        }
    } firstPaint;
    double cpuPercent = 0;
    // What one frame of the panel's two recurring animations costs to draw: the hero card's
    // (its breathing, three a second while shown) and a gauge's (a few dozen after each sample).
    // Drawn back to back, so this is the drawing alone, not the wake-up around a frame; the
    // process's CPU time, as the rasteriser may hand parts of a frame to its own threads.
    double heroFrame = -1, gaugeFrame = -1;
    const auto framesCost = [&] {
        QWidget* panel = context.desktopHUD().panel();
        if (!panel) return;
        const auto perFrame = [](QWidget* w) {
            constexpr int frames = 300;
            const double before = cpuSeconds();
            for (int i = 0; i < frames; ++i) w->repaint();
            return (cpuSeconds() - before) * 1e3 / frames;
        };
        if (auto* card = panel->findChild<HeroDeltaView*>()) heroFrame = perFrame(card);
        if (auto* gauge = panel->findChild<HexGauge*>()) gaugeFrame = perFrame(gauge);
    };
    firstPaint.painted = [&] {
        QTimer::singleShot(warmupSeconds() * 1000, &app, [&] {
            cpuAtOpen = cpuSeconds();
            wallAtOpen = monotonicMs();
            QTimer::singleShot(seconds * 1000, &app, [&] {
                cpuPercent = (cpuSeconds() - cpuAtOpen) / ((monotonicMs() - wallAtOpen) / 1e3) * 100.0;
                framesCost();
                QCoreApplication::quit();
            });
        });
    };
    QTimer::singleShot(0, &app, [&] {
        context.delegate().applicationDidFinishLaunching();
        // Without a tray the launch opens the dashboard; the HUD is measured alone.
        if (QWidget* window = context.dashboard().window()) window->close();
        context.desktopHUD().show();
        if (QWidget* panel = context.desktopHUD().panel()) {
            panel->installEventFilter(&firstPaint);
            auto* card = panel->findChild<HeroDeltaView*>();
            if (card && cardState == Card::hidden) card->hide();
            if (card && cardState == Card::gold) {
                MeasuredOutcome freed;
                freed.metric = OutcomeMetric::memFreedMB;
                freed.delta = 412;
                freed.before = 9.6;
                freed.after = 9.2;
                card->pinOutcome(freed);
            }
        }
    });
    QApplication::exec();
    std::printf("cpu_percent_one_core_hud_shown %.3f\n", cpuPercent);
    if (heroFrame >= 0) std::printf("hud_hero_card_frame_cpu_ms %.3f\n", heroFrame);
    if (gaugeFrame >= 0) std::printf("hud_gauge_frame_cpu_ms %.3f\n", gaugeFrame);
    std::fflush(stdout);
    context.delegate().applicationWillTerminate();
    return 0;
}

// The least a process pays here to wake up at the hero card's breathing rate: a Qt event loop
// whose only work is a timer of that interval that does nothing, measured as the HUD is.
int emptyTimer(int argc, char** argv, int seconds)
{
    QCoreApplication app(argc, argv);
    QTimer tick;
    tick.setTimerType(Qt::CoarseTimer);
    tick.setInterval(HeroDeltaView::breathFrameMs);
    QObject::connect(&tick, &QTimer::timeout, &app, [] {});
    tick.start();
    double cpuAtOpen = 0, wallAtOpen = 0;
    QTimer::singleShot(warmupSeconds() * 1000, &app, [&] {
        cpuAtOpen = cpuSeconds();
        wallAtOpen = monotonicMs();
        QTimer::singleShot(seconds * 1000, &app, [] { QCoreApplication::quit(); });
    });
    QCoreApplication::exec();
    const double cpuPercent = (cpuSeconds() - cpuAtOpen) / ((monotonicMs() - wallAtOpen) / 1e3) * 100.0;
    std::printf("cpu_percent_one_core_empty_timer %.3f\n", cpuPercent);
    std::fflush(stdout);
    return 0;
}

// Lets the tab take what was published and paints it, as a shown window would.
void settleAndPaint(QWidget& w)
{
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    w.repaint();
}

// Main-thread CPU time: on a busy machine the wall clock mostly measures waiting for a core.
double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

struct Cost {
    double wall = 0;
    double cpu = 0;
};

template <class F>
Cost measure(F&& work)
{
    const double wall = monotonicMs();
    const double cpu = threadCpuMs();
    work();
    return {monotonicMs() - wall, threadCpuMs() - cpu};
}

void print(const char* name, Cost cost, int runs = 1)
{
    std::printf("%s: %.2f ms\n", name, cost.wall / runs);
    std::printf("%s_main_thread_cpu: %.2f ms\n", name, cost.cpu / runs);
}

int lists(int argc, char** argv)
{
    QApplication app(argc, argv);
    AppContext context;
    const DashboardEnvironment& env = context.dashboard().environment();
    PerformanceMonitor& monitor = env.monitor;

    // The window is open when a tab is chosen (its fonts and symbols are loaded by then); a tab
    // is shown inside it.
    QWidget host;
    auto* hostLayout = new QVBoxLayout(&host);
    hostLayout->setContentsMargins(0, 0, 0, 0);
    host.resize(900, 700);
    auto processes = std::make_unique<ProcessesTab>(env, &host);
    hostLayout->addWidget(processes.get());
    host.show();
    settleAndPaint(host);

    for (int i = 0; i < 500; ++i)
        monitor.logAction(ActionRecord::make(ActionRecord::ActionType::systemCheck, QStringLiteral("target %1").arg(i),
                                             QStringLiteral("CPU 95%"), QDateTime::currentDateTimeUtc(), i % 2 == 0));
    std::unique_ptr<HistoryTab> history;
    print("history_open_500_records", measure([&] {
              history = std::make_unique<HistoryTab>(env);
              processes->hide();
              host.layout()->addWidget(history.get());
              settleAndPaint(host);
          }));
    constexpr int appends = 20;
    Cost appendTotal;
    for (int i = 0; i < appends; ++i) {
        const Cost c = measure([&] {
            monitor.logAction(ActionRecord::make(ActionRecord::ActionType::processThrottled, QStringLiteral("new"),
                                                 QStringLiteral("Manual throttle"), QDateTime::currentDateTimeUtc(),
                                                 false));
            settleAndPaint(host);
        });
        appendTotal.wall += c.wall;
        appendTotal.cpu += c.cpu;
    }
    print("history_append_one_at_500", appendTotal, appends);
    history.reset();
    processes->show();

    // Pids far above any real one, at loads that start no automatic action.
    auto sample = [&](int round) {
        Sample s;
        s.snapshot = monitor.currentSnapshot();
        s.health = monitor.currentHealth();
        for (int i = 0; i < 30; ++i) {
            ProcessInfoItem item;
            item.pid = 3'900'000 + i;
            item.name = QStringLiteral("worker-%1").arg(i);
            item.cpuUsage = double((i * 7 + round * 3) % 40);
            item.memoryMB = 100.0 + i + round;
            s.snapshot.topProcesses << item;
        }
        std::sort(s.snapshot.topProcesses.begin(), s.snapshot.topProcesses.end(),
                  [](const ProcessInfoItem& a, const ProcessInfoItem& b) { return a.cpuUsage > b.cpuUsage; });
        monitor.applySample(s);
    };
    sample(0);
    settleAndPaint(host);
    // The tab's share only: publishing the sample, and what the other engines do with it, is
    // not the list's cost. The tab takes the sample and repaints what changed: the count and
    // the list (its header and column titles stay as they are).
    constexpr int samples = 50;
    Cost sampleTotal;
    for (int round = 1; round <= samples; ++round) {
        sample(round);
        const Cost c = measure([&] {
            processes->refresh();
            processes->countText()->repaint();
            processes->list()->viewport()->repaint();
        });
        settleAndPaint(host);
        sampleTotal.wall += c.wall;
        sampleTotal.cpu += c.cpu;
    }
    print("processes_update_per_sample_30_rows", sampleTotal, samples);
    std::fflush(stdout);
    processes.reset();
    context.delegate().applicationWillTerminate();
    return 0;
}

// Starts this program again with `flags`, in a home of its own when `home` is given (else in
// this one's environment); its standard output is read from the returned descriptor.
struct Running {
    pid_t pid = -1;
    int out = -1;
};

Running spawnSelfIn(char* argv0, std::vector<std::string> flags, const QString& home)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        bool replaced = false;
        for (const char* key : {"HOME=", "XDG_CONFIG_HOME=", "XDG_DATA_HOME=", "XDG_CACHE_HOME="})
            replaced = replaced || (!home.isEmpty() && entry.rfind(key, 0) == 0);
        if (!replaced) env.push_back(entry);
    }
    if (!home.isEmpty()) {
        const std::string h = QFile::encodeName(home).toStdString();
        env.push_back("HOME=" + h);
        env.push_back("XDG_CONFIG_HOME=" + h + "/.config");
        env.push_back("XDG_DATA_HOME=" + h + "/.local/share");
        env.push_back("XDG_CACHE_HOME=" + h + "/.cache");
    }
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<char*> args{argv0};
    for (std::string& f : flags) args.push_back(f.data());
    args.push_back(nullptr);
    Running r;
    if (posix_spawn(&r.pid, "/proc/self/exe", &actions, nullptr, args.data(), envp.data()) != 0) r.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    r.out = pipeFds[0];
    return r;
}

std::string finish(Running r)
{
    std::string out;
    char buffer[256];
    ssize_t n = 0;
    while (r.out >= 0 && (n = read(r.out, buffer, sizeof buffer)) > 0) out.append(buffer, size_t(n));
    if (r.out >= 0) close(r.out);
    int status = 0;
    if (r.pid > 0) waitpid(r.pid, &status, 0);
    return out;
}

// Runs this program again with `flags` and returns what it printed.
std::string spawnSelf(char* argv0, std::vector<std::string> flags)
{
    return finish(spawnSelfIn(argv0, std::move(flags), QString()));
}

double median(std::vector<double> v)
{
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The figure a child printed after `key`, or nothing.
std::optional<double> figure(const std::string& out, const std::string& key)
{
    const size_t at = out.find(key + ' ');
    double value = 0;
    if (at == std::string::npos || std::sscanf(out.c_str() + at + key.size() + 1, "%lf", &value) != 1) return {};
    return value;
}

// The dashboard and the HUD, each in a process and a home of its own, run at the same time so
// that both see the same load, after the same warm-up; repeated, and the medians printed. Beside
// them run the HUD with its hero card hidden, the HUD showing a measured improvement, and an
// empty timer at the card's breathing rate: what the panel costs without its one animation that
// never ends, what it costs once the card shows a gold number, and what waking at that rate
// costs at the least on this machine.
void sideBySide(char* argv0, int seconds, int warmup, int repeats)
{
    std::vector<double> dashboard, hudShown, cardHidden, gold, timer;
    for (int r = 0; r < repeats; ++r) {
        QTemporaryDir dashboardHome, hudHome, hiddenHome, goldHome, timerHome;
        const std::vector<std::string> timing = {"--seconds", std::to_string(seconds), "--warmup", std::to_string(warmup)};
        const auto flags = [&](std::vector<std::string> f) {
            f.insert(f.end(), timing.begin(), timing.end());
            return f;
        };
        Running d = spawnSelfIn(argv0, flags({"--child"}), dashboardHome.path());
        Running h = spawnSelfIn(argv0, flags({"--hud"}), hudHome.path());
        Running c = spawnSelfIn(argv0, flags({"--hud-card-hidden"}), hiddenHome.path());
        Running g = spawnSelfIn(argv0, flags({"--hud-gold"}), goldHome.path());
        Running t = spawnSelfIn(argv0, flags({"--empty-timer"}), timerHome.path());
        const std::string dashboardOut = finish(d);
        double frame = 0, cpu = 0;
        long kb = 0;
        if (std::sscanf(dashboardOut.c_str(), "%lf %ld %lf", &frame, &kb, &cpu) == 3) dashboard.push_back(cpu);
        if (auto v = figure(finish(h), "cpu_percent_one_core_hud_shown")) hudShown.push_back(*v);
        if (auto v = figure(finish(c), "cpu_percent_one_core_hud_shown")) cardHidden.push_back(*v);
        if (auto v = figure(finish(g), "cpu_percent_one_core_hud_shown")) gold.push_back(*v);
        if (auto v = figure(finish(t), "cpu_percent_one_core_empty_timer")) timer.push_back(*v);
    }
    const double d = median(dashboard), h = median(hudShown);
    std::printf("side_by_side_repeats %d\n", repeats);
    std::printf("side_by_side_warmup_s %d\n", warmup);
    std::printf("cpu_percent_one_core_dashboard_open_side_by_side %.3f\n", d);
    std::printf("cpu_percent_one_core_hud_shown_side_by_side %.3f\n", h);
    std::printf("hud_to_dashboard_cpu_side_by_side %.3f\n", d > 0 ? h / d : -1.0);
    std::printf("cpu_percent_one_core_hud_card_hidden_side_by_side %.3f\n", median(cardHidden));
    std::printf("cpu_percent_one_core_hud_gold_side_by_side %.3f\n", median(gold));
    std::printf("cpu_percent_one_core_empty_timer_%dms_side_by_side %.3f\n", HeroDeltaView::breathFrameMs, median(timer));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    // --seconds N shortens the open period for a quick look; the reported figures use 60.
    int seconds = 60;
    // --side-by-side-only skips to the dashboard-against-HUD comparison; --repeats N (default 3)
    // and --warmup N (default 20 there) set it up.
    int repeats = 3;
    int warmup = -1;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--seconds") seconds = std::max(1, std::atoi(argv[i + 1]));
        if (std::string(argv[i]) == "--repeats") repeats = std::max(1, std::atoi(argv[i + 1]));
        if (std::string(argv[i]) == "--warmup") warmup = std::max(0, std::atoi(argv[i + 1]));
    }
    g_warmupSeconds = std::max(0, warmup);
    if (argc > 1 && std::string(argv[1]) == "--child") return child(argc, argv, seconds);
    if (argc > 1 && std::string(argv[1]) == "--lists") return lists(argc, argv);
    if (argc > 1 && std::string(argv[1]) == "--hud") return hud(argc, argv, seconds, Card::awaiting);
    if (argc > 1 && std::string(argv[1]) == "--hud-card-hidden") return hud(argc, argv, seconds, Card::hidden);
    if (argc > 1 && std::string(argv[1]) == "--hud-gold") return hud(argc, argv, seconds, Card::gold);
    if (argc > 1 && std::string(argv[1]) == "--empty-timer") return emptyTimer(argc, argv, seconds);
    const bool listsOnly = argc > 1 && std::string(argv[1]) == "--lists-only";
    const bool sideBySideOnly = argc > 1 && std::string(argv[1]) == "--side-by-side-only";

    QTemporaryDir home;
    setenv("HOME", QFile::encodeName(home.path()).constData(), 1);
    setenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + "/.config").constData(), 1);
    setenv("XDG_DATA_HOME", QFile::encodeName(home.path() + "/.local/share").constData(), 1);
    setenv("XDG_CACHE_HOME", QFile::encodeName(home.path() + "/.cache").constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);

    if (listsOnly) {
        std::fputs(spawnSelf(argv[0], {"--lists"}).c_str(), stdout);
        return 0;
    }
    if (sideBySideOnly) {
        sideBySide(argv[0], seconds, warmup < 0 ? 20 : warmup, repeats);
        return 0;
    }
    const std::string secondsText = std::to_string(seconds);
    const double start = monotonicMs();
    const std::string childOut = finish(spawnSelfIn(argv[0], {"--child", "--seconds", secondsText}, QString()));
    double frame = 0, cpu = 0;
    long kb = 0;
    if (std::sscanf(childOut.c_str(), "%lf %ld %lf", &frame, &kb, &cpu) != 3 || frame <= 0) return 1;
    std::printf("dashboard_first_frame_ms %.1f\n", frame - start);
    std::printf("resident_dashboard_open_%ds_mb %.1f\n", seconds, double(kb) / 1024.0);
    std::printf("cpu_percent_one_core_dashboard_open %.2f\n", cpu);
    std::fflush(stdout);
    std::fputs(spawnSelf(argv[0], {"--lists"}).c_str(), stdout);
    std::fflush(stdout);
    std::fputs(spawnSelf(argv[0], {"--hud", "--seconds", secondsText}).c_str(), stdout);
    std::fflush(stdout);
    sideBySide(argv[0], seconds, warmup < 0 ? 20 : warmup, repeats);
    return 0;
}
