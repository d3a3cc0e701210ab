// The dashboard's cost: time from process start to its first painted frame, then, with the
// window left open at the default timers for 60 s, resident memory at the end and the process's
// CPU time over those seconds as a percentage of one core.
// Every window is shown as a user's desktop shows it: on an X server with a window manager
// (Xvfb and openbox, started here), by an ordinary user (`nobody` when the bench runs as root)
// with the open-file limit at 1024. The parent spawns this program again as the application
// and reads the child's figures.
// Then, in a second child, the record lists: opening the History tab with 500 records, one
// more record arriving while it is open, and the Processes tab taking one sample of 30 rows.
// Last, in a third child, the desktop HUD shown alone for the same seconds: its CPU share, then
// the CPU time of one frame of each of its recurring animations.
// Finally the dashboard open and the HUD shown at the same time, each in a process and a home of
// its own, measured over the same seconds after a 20 s warm-up and repeated three times: CPU of
// each one's process and the child processes it waited for (to the microsecond) and wake-ups of
// its whole process tree (read from /proc by this process), the medians,
// and the HUD's against the dashboard's plus the hero card's own frames measured apart. Beside
// those two, the HUD with its hero card hidden, the HUD showing a measured improvement, and an
// empty timer at the card's breathing rate.
#include "app/AppContext.h"
#include "monitoring/PerformanceMonitor.h"
#include "platform/linux/ProcfsProcessTable.h"
#include "platform/linux/XcbFrameTransport.h"
#include "ui/dashboard/DashboardWindowController.h"
#include "ui/dashboard/HistoryTab.h"
#include "ui/dashboard/ProcessesTab.h"
#include "ui/dashboard/TextView.h"
#include "ui/shell/DesktopHUDController.h"
#include "ui/shell/HeroDeltaView.h"
#include "ui/shell/HUDWidgetView.h"
#include "ui/theme/Blit.h"
#include "ui/theme/HexGauge.h"

#include <QApplication>
#include <QListView>
#include <QVBoxLayout>
#include <QPainter>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
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
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>


#include "BenchClock.h"
#include "Desktop.h"
#include "ProcessTree.h"

// CPU time of this process and of the child processes it has waited for (the tree's, as the
// children that matter here, tool runs, are waited for), to the microsecond.
double cpuSeconds()
{
    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    const auto seconds = [](const rusage& u) {
        return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    return seconds(self) + seconds(children);
}
using bench::monotonicMs;
using bench::residentKb;

namespace {

// Seconds after the first frame before the measured period starts (--warmup N; default 0),
// so that start-up work is left out of a side-by-side comparison.
int g_warmupSeconds = 0;
int warmupSeconds() { return g_warmupSeconds; }

// Tells the parent, which follows this process's tree from /proc, where the measured window
// starts and ends.
void windowMark(const char* what)
{
    std::printf("window_%s\n", what);
    std::fflush(stdout);
}

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
            windowMark("start");
            QTimer::singleShot(seconds * 1000, &app, [] {
                windowMark("end");
                QCoreApplication::quit();
            });
        });
    });
    QTimer::singleShot(0, &app, [&] {
        context.delegate().applicationDidFinishLaunching();
        dashboard.open();
    });
    QApplication::exec();
    const double cpuPercent = (cpuSeconds() - cpuAtOpen) / ((monotonicMs() - wallAtOpen) / 1e3) * 100.0;
    std::printf("dashboard_figures %.3f %ld %.3f\n", firstFrame, residentKb(), cpuPercent);
    std::printf("cpu_percent_one_core_dashboard_open %.4f\n", cpuPercent);
    std::fflush(stdout);
    context.delegate().applicationWillTerminate();
    return 0;
}

// The first paint of any widget in a window, watched from before the window is shown: the
// window's own widget may be covered by its content and never painted, and the first frame may
// come before a filter installed after show() would see it.
struct FirstPaint : QObject {
    std::function<void()> painted;
    std::function<QWidget*()> window;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && painted && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == window()) {
            qApp->removeEventFilter(this);
            auto done = std::move(painted);
            painted = {};
            QTimer::singleShot(0, this, done);
        }
        return false;
    }
};

// What runs at a window's first frame: after the warm-up, the process's CPU over `seconds` as
// a percentage of one core, into `cpuPercent`, between the window marks; then `atEnd`, and the
// loop quits.
std::function<void()> measuredWindow(int seconds, double& cpuPercent, std::function<void()> atEnd = {})
{
    return [seconds, &cpuPercent, atEnd] {
        QTimer::singleShot(warmupSeconds() * 1000, qApp, [seconds, &cpuPercent, atEnd] {
            const double cpuAtOpen = cpuSeconds(), wallAtOpen = monotonicMs();
            windowMark("start");
            QTimer::singleShot(seconds * 1000, qApp, [cpuAtOpen, wallAtOpen, &cpuPercent, atEnd] {
                cpuPercent = (cpuSeconds() - cpuAtOpen) / ((monotonicMs() - wallAtOpen) / 1e3) * 100.0;
                windowMark("end");
                if (atEnd) atEnd();
                QCoreApplication::quit();
            });
        });
    };
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
    FirstPaint firstPaint;
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
    firstPaint.painted = measuredWindow(seconds, cpuPercent, framesCost);
    QTimer::singleShot(0, &app, [&] {
        context.delegate().applicationDidFinishLaunching();
        // Without a tray the launch opens the dashboard; the HUD is measured alone.
        if (QWidget* window = context.dashboard().window()) window->close();
        firstPaint.window = [&context] { return static_cast<QWidget*>(context.desktopHUD().panel()); };
        qApp->installEventFilter(&firstPaint);
        context.desktopHUD().show();
        if (QWidget* panel = context.desktopHUD().panel()) {
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
    std::printf("cpu_percent_one_core_hud_shown %.4f\n", cpuPercent);
    if (heroFrame >= 0) std::printf("hud_hero_card_frame_cpu_ms %.3f\n", heroFrame);
    if (gaugeFrame >= 0) std::printf("hud_gauge_frame_cpu_ms %.3f\n", gaugeFrame);
    std::fflush(stdout);
    context.delegate().applicationWillTerminate();
    return 0;
}

// The hero card's frames measured apart: the card alone in a window of its own, as a new home
// has it (awaiting its first measured outcome, its floor breathing), over the same kind of
// backdrop the HUD lays under it, with nothing else of the application started; the process's
// CPU over `seconds` from the window's first frame, as the HUD's is measured.
int cardAlone(int argc, char** argv, int seconds)
{
    QApplication app(argc, argv);
    AppContext context;
    QWidget window;
    window.setWindowTitle(QStringLiteral("Hero card"));
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* card = new HeroDeltaView(
        HeroDeltaDeps{context.epitopes(), context.theme(), context.reversibleShell(), context.settings()}, &window);
    card->setFixedWidth(HUDWidgetView::width - 2 * HUDWidgetView::padding);
    QImage backdrop(QSize(HUDWidgetView::width, 400) * window.devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
    backdrop.setDevicePixelRatio(window.devicePixelRatioF());
    backdrop.fill(QColor(20, 16, 16));
    card->setBackdrop([&window, &backdrop](QPainter& p, const QRect& area) {
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(area, window.palette().brush(window.backgroundRole()));
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        const qreal dpr = backdrop.devicePixelRatio();
        Blit::draw(p, QPointF(area.topLeft()), backdrop, QRectF(QPointF(area.topLeft()) * dpr, QSizeF(area.size()) * dpr).toAlignedRect());
    });
    layout->addWidget(card);
    window.move(2600, 760);  // below the first HUD, clear of the others
    double cpuPercent = 0;
    FirstPaint firstPaint;
    firstPaint.window = [&window] { return &window; };
    firstPaint.painted = measuredWindow(seconds, cpuPercent);
    qApp->installEventFilter(&firstPaint);
    window.show();
    QApplication::exec();
    std::printf("cpu_percent_one_core_card_alone %.4f\n", cpuPercent);
    std::fflush(stdout);
    return 0;
}

// The least a process pays here to wake up at the hero card's breathing rate: a Qt event loop
// whose only work is a timer of that interval that does nothing, measured as the HUD is.
int emptyTimer(int argc, char** argv, int seconds)
{
    QCoreApplication app(argc, argv);
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);  // as the card's breathing keeps its rate
    tick.setInterval(HeroDeltaView::breathFrameMs);
    QObject::connect(&tick, &QTimer::timeout, &app, [] {});
    tick.start();
    double cpuAtOpen = 0, wallAtOpen = 0;
    QTimer::singleShot(warmupSeconds() * 1000, &app, [&] {
        cpuAtOpen = cpuSeconds();
        wallAtOpen = monotonicMs();
        windowMark("start");
        QTimer::singleShot(seconds * 1000, &app, [] {
            windowMark("end");
            QCoreApplication::quit();
        });
    });
    QCoreApplication::exec();
    const double cpuPercent = (cpuSeconds() - cpuAtOpen) / ((monotonicMs() - wallAtOpen) / 1e3) * 100.0;
    std::printf("cpu_percent_one_core_empty_timer %.4f\n", cpuPercent);
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

// Starts this program again with `flags` as the user a desktop runs it as, on the bench's X
// display, in a home of its own; its standard output is read from the returned descriptor.
struct Running {
    pid_t pid = -1;
    int out = -1;
    std::string text;
    bench::TreeTracker tree;
    double windowStart = 0, windowEnd = 0;
    bool ended = false;
    double spawnedAt = 0;
    std::string flags;
};

// How long a child may run before it is taken for stuck: its warm-up and window, and two
// minutes for start-up and its last figures.
int g_childLimitSeconds = 0;

bench::RunAs g_user;
std::string g_self;

Running spawnSelfIn(std::vector<std::string> flags, const QString& home, QJsonObject settings = {})
{
    bench::readyHome(g_user, home, std::move(settings));
    std::vector<std::string> env = bench::homeEnvironment(home);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return {};
    std::vector<std::string> args{g_self};
    args.insert(args.end(), flags.begin(), flags.end());
    Running r;
    r.pid = bench::spawnAs(g_user, args, env, pipeFds[1]);
    close(pipeFds[1]);
    r.out = pipeFds[0];
    r.tree.pid = r.pid;
    r.spawnedAt = monotonicMs();
    for (const std::string& f : flags) r.flags += (r.flags.empty() ? "" : " ") + f;
    return r;
}

// Reads what the children print until all have ended, following each one's process tree from
// /proc (CPU time and wake-ups of all its processes and threads) between the window marks it
// prints, a look each second.
void finishAll(std::vector<Running*> runs)
{
    double nextLook = monotonicMs() + 1000;
    while (std::any_of(runs.begin(), runs.end(), [](const Running* r) { return r->out >= 0; })) {
        std::vector<pollfd> fds;
        for (Running* r : runs) {
            if (r->out >= 0) fds.push_back({r->out, POLLIN, 0});
        }
        poll(fds.data(), fds.size(), int(std::max(1.0, nextLook - monotonicMs())));
        for (Running* r : runs) {
            if (r->out < 0) continue;
            pollfd probe{r->out, POLLIN, 0};
            if (poll(&probe, 1, 0) <= 0) continue;
            char buffer[512];
            const ssize_t n = read(r->out, buffer, sizeof buffer);
            if (n <= 0) {
                close(r->out);
                r->out = -1;
                continue;
            }
            const size_t before = r->text.size();
            r->text.append(buffer, size_t(n));
            if (r->text.find("window_start\n", before > 13 ? before - 13 : 0) != std::string::npos && r->windowStart == 0) {
                r->tree.start();
                r->windowStart = monotonicMs();
            }
            if (r->text.find("window_end\n", before > 11 ? before - 11 : 0) != std::string::npos && !r->ended &&
                r->windowStart > 0) {
                r->tree.look();
                r->windowEnd = monotonicMs();
                r->ended = true;
            }
        }
        if (monotonicMs() >= nextLook) {
            for (Running* r : runs) {
                if (r->windowStart > 0 && !r->ended) r->tree.look();
            }
            nextLook += 1000;
        }
        // A child that never ends would hold the bench forever: it is stopped, and what it
        // printed is shown, so that the run ends with the figures of the others.
        for (Running* r : runs) {
            if (r->out < 0 || g_childLimitSeconds <= 0 || monotonicMs() - r->spawnedAt < g_childLimitSeconds * 1e3) continue;
            kill(r->pid, SIGKILL);
            close(r->out);
            r->out = -1;
            std::fprintf(stderr, "child \"%s\" did not end within %d s and was stopped; it printed:\n%s\n", r->flags.c_str(),
                         g_childLimitSeconds, r->text.c_str());
        }
    }
    for (Running* r : runs) {
        int status = 0;
        if (r->pid > 0) waitpid(r->pid, &status, 0);
    }
}

std::string finish(Running r)
{
    finishAll({&r});
    return r.text;
}

// Runs this program again with `flags` and returns what it printed.
std::string spawnSelf(std::vector<std::string> flags)
{
    QTemporaryDir home;
    return finish(spawnSelfIn(std::move(flags), home.path()));
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

std::string loadAverage()
{
    return bench::slurp("/proc/loadavg").split(' ').mid(0, 3).join(' ').toStdString();
}

// A child's CPU over its window (% of one core), as it measured itself to the microsecond (its
// own time and its waited-for children's; /proc counts in ticks of 10 ms), and the wake-ups and
// context switches per second of its whole process tree, read from /proc by this process.
struct TreeFigures {
    std::vector<double> cpu, wakeups, switches;
    void add(const Running& r, const char* key)
    {
        const double seconds = (r.windowEnd - r.windowStart) / 1e3;
        if (!r.ended || seconds <= 0) return;
        if (auto v = figure(r.text, key)) cpu.push_back(*v);
        wakeups.push_back(double(r.tree.wakeups()) / seconds);
        switches.push_back(double(r.tree.switches()) / seconds);
    }
};

// The dashboard and the HUD, each in a process and a home of its own, run at the same time so
// that both see the same load, after the same warm-up; repeated, and the medians printed. Beside
// them run the HUD with its hero card hidden, the HUD showing a measured improvement, the hero
// card alone in a window, and an empty timer at the card's breathing rate: what the panel costs
// without its one animation that never ends, what it costs once the card shows a gold number,
// what the card's frames cost measured apart, and what waking at that rate costs at the least
// on this machine. The HUD's budget is the dashboard's figure plus the card's frames: for CPU,
// the card alone; for wake-ups, the card's three frames a second.
void sideBySide(int seconds, int warmup, int repeats)
{
    TreeFigures dashboard, hudShown, cardHidden, gold, alone, timer;
    std::vector<double> heroFrameMs;
    for (int r = 0; r < repeats; ++r) {
        QTemporaryDir dashboardHome, hudHome, hiddenHome, goldHome, aloneHome, timerHome;
        const std::vector<std::string> timing = {"--seconds", std::to_string(seconds), "--warmup", std::to_string(warmup)};
        const auto flags = [&](std::vector<std::string> f) {
            f.insert(f.end(), timing.begin(), timing.end());
            return f;
        };
        // Each HUD where its user last left it, side by side at the screen's right end, clear
        // of one another, of the card alone and of the dashboard: X sends no expose to a window
        // mapped under another, and Qt paints no window that was never exposed.
        const auto placedAt = [](int slot) {
            return QJsonObject{{DesktopHUDController::frameKey,
                                DesktopHUDController::originText(QPointF(2600 + slot * 400, 20))}};
        };
        Running d = spawnSelfIn(flags({"--child"}), dashboardHome.path());
        Running h = spawnSelfIn(flags({"--hud"}), hudHome.path(), placedAt(0));
        Running c = spawnSelfIn(flags({"--hud-card-hidden"}), hiddenHome.path(), placedAt(1));
        Running g = spawnSelfIn(flags({"--hud-gold"}), goldHome.path(), placedAt(2));
        Running a = spawnSelfIn(flags({"--card-alone"}), aloneHome.path());
        Running t = spawnSelfIn(flags({"--empty-timer"}), timerHome.path());
        const std::string loadBefore = loadAverage();
        finishAll({&d, &h, &c, &g, &a, &t});
        std::printf("side_by_side_round_%d_load_average %s -> %s\n", r + 1, loadBefore.c_str(), loadAverage().c_str());
        dashboard.add(d, "cpu_percent_one_core_dashboard_open");
        hudShown.add(h, "cpu_percent_one_core_hud_shown");
        cardHidden.add(c, "cpu_percent_one_core_hud_shown");
        gold.add(g, "cpu_percent_one_core_hud_shown");
        alone.add(a, "cpu_percent_one_core_card_alone");
        timer.add(t, "cpu_percent_one_core_empty_timer");
        if (auto v = figure(h.text, "hud_hero_card_frame_cpu_ms")) heroFrameMs.push_back(*v);
    }
    const double d = median(dashboard.cpu), h = median(hudShown.cpu), cardFrames = median(alone.cpu);
    const double dw = median(dashboard.wakeups), hw = median(hudShown.wakeups);
    const double cardFramesPerSecond = 1000.0 / HeroDeltaView::breathFrameMs;
    std::printf("side_by_side_repeats %d\n", repeats);
    std::printf("side_by_side_warmup_s %d\n", warmup);
    std::printf("side_by_side_user %s\n", g_user.name.c_str());
    const auto row = [](const char* name, const TreeFigures& f) {
        std::printf("cpu_percent_one_core_%s_side_by_side %.3f\n", name, median(f.cpu));
        std::printf("wakeups_per_s_%s_side_by_side %.2f\n", name, median(f.wakeups));
        std::printf("context_switches_per_s_%s_side_by_side %.2f\n", name, median(f.switches));
    };
    row("dashboard_open", dashboard);
    row("hud_shown", hudShown);
    std::printf("hud_to_dashboard_cpu_side_by_side %.3f\n", d > 0 ? h / d : -1.0);
    row("hud_card_hidden", cardHidden);
    row("hud_gold", gold);
    row("card_alone", alone);
    row(("empty_timer_" + std::to_string(HeroDeltaView::breathFrameMs) + "ms").c_str(), timer);
    std::printf("hud_hero_card_frame_cpu_ms_side_by_side %.3f\n", median(heroFrameMs));
    std::printf("cpu_percent_one_core_hero_card_frames_apart %.3f\n", cardFrames);
    std::printf("hud_cpu_budget_dashboard_plus_card_frames %.3f\n", d + cardFrames);
    std::printf("hud_wakeups_budget_dashboard_plus_card_frames %.2f\n", dw + cardFramesPerSecond);
    // A figure that is missing (a child that printed none) is no proof of being within budget.
    const bool cpuKnown = d >= 0 && h >= 0 && cardFrames >= 0;
    const bool wakeupsKnown = dw >= 0 && hw >= 0;
    std::printf("hud_cpu_within_budget %s\n", !cpuKnown ? "unknown" : h <= d + cardFrames ? "yes" : "no");
    std::printf("hud_wakeups_within_budget %s\n", !wakeupsKnown ? "unknown" : hw <= dw + cardFramesPerSecond ? "yes" : "no");
    // The card's frames measured apart the other way: the HUD with its card against the HUD
    // with the card hidden.
    std::printf("cpu_percent_one_core_hero_card_frames_shown_minus_hidden %.3f\n", h - median(cardHidden.cpu));
    std::printf("wakeups_per_s_hero_card_frames_shown_minus_hidden %.2f\n", hw - median(cardHidden.wakeups));
    std::printf("hud_card_hidden_to_dashboard_wakeups %.3f\n", dw > 0 ? median(cardHidden.wakeups) / dw : -1.0);
    std::printf("hud_card_hidden_to_dashboard_cpu %.3f\n", d > 0 ? median(cardHidden.cpu) / d : -1.0);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    // --seconds N shortens the open period for a quick look; the reported figures use 60.
    int seconds = 60;
    // --side-by-side-only skips to the dashboard-against-HUD comparison; --repeats N (default 5:
    // the HUD and the dashboard differ by little more than the rounds do, so medians of five)
    // and --warmup N (default 20 there) set it up.
    int repeats = 5;
    int warmup = -1;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--seconds") seconds = std::max(1, std::atoi(argv[i + 1]));
        if (std::string(argv[i]) == "--repeats") repeats = std::max(1, std::atoi(argv[i + 1]));
        if (std::string(argv[i]) == "--warmup") warmup = std::max(0, std::atoi(argv[i + 1]));
    }
    g_warmupSeconds = std::max(0, warmup);
    // A child starts as the application's own start does, before its QApplication.
    ProcfsProcessTable::raiseOpenFileLimit();
    XcbFrameTransport::preferConnectionCopies();
    g_childLimitSeconds = std::max(0, warmup < 0 ? 20 : warmup) + seconds + 120;
    if (argc > 1 && std::string(argv[1]) == "--child") return child(argc, argv, seconds);
    if (argc > 1 && std::string(argv[1]) == "--lists") return lists(argc, argv);
    if (argc > 1 && std::string(argv[1]) == "--hud") return hud(argc, argv, seconds, Card::awaiting);
    if (argc > 1 && std::string(argv[1]) == "--hud-card-hidden") return hud(argc, argv, seconds, Card::hidden);
    if (argc > 1 && std::string(argv[1]) == "--hud-gold") return hud(argc, argv, seconds, Card::gold);
    if (argc > 1 && std::string(argv[1]) == "--card-alone") return cardAlone(argc, argv, seconds);
    if (argc > 1 && std::string(argv[1]) == "--empty-timer") return emptyTimer(argc, argv, seconds);
    const bool listsOnly = argc > 1 && std::string(argv[1]) == "--lists-only";
    const bool sideBySideOnly = argc > 1 && std::string(argv[1]) == "--side-by-side-only";

    g_user = bench::ordinaryUser();
    g_self = QFile::encodeName(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).toStdString();
    if (!bench::reachable(g_user, g_self)) {
        std::fprintf(stderr, "%s cannot run %s\n", g_user.name.c_str(), g_self.c_str());
        return 1;
    }
    bench::Desktop desktop;
    if (!desktop.start()) {
        std::fprintf(stderr, "cannot start Xvfb and openbox on %s\n", desktop.display.c_str());
        return 1;
    }
    setenv("DISPLAY", desktop.display.c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    std::printf("display %s (Xvfb, openbox); user %s; open-file limit %d\n", desktop.display.c_str(), g_user.name.c_str(),
                int(bench::desktopOpenFileLimit));
    std::printf("load_average %s\n", loadAverage().c_str());
    std::fflush(stdout);

    if (listsOnly) {
        std::fputs(spawnSelf({"--lists"}).c_str(), stdout);
        return 0;
    }
    if (sideBySideOnly) {
        sideBySide(seconds, warmup < 0 ? 20 : warmup, repeats);
        return 0;
    }
    const std::string secondsText = std::to_string(seconds);
    const double start = monotonicMs();
    const std::string childOut = spawnSelf({"--child", "--seconds", secondsText});
    double frame = 0, cpu = 0;
    long kb = 0;
    const size_t at = childOut.find("dashboard_figures ");
    if (at == std::string::npos || std::sscanf(childOut.c_str() + at, "dashboard_figures %lf %ld %lf", &frame, &kb, &cpu) != 3 ||
        frame <= 0) {
        std::fputs(childOut.c_str(), stderr);
        return 1;
    }
    std::printf("dashboard_first_frame_ms %.1f\n", frame - start);
    std::printf("resident_dashboard_open_%ds_mb %.1f\n", seconds, double(kb) / 1024.0);
    std::printf("cpu_percent_one_core_dashboard_open %.2f\n", cpu);
    std::fflush(stdout);
    std::fputs(spawnSelf({"--lists"}).c_str(), stdout);
    std::fflush(stdout);
    std::fputs(spawnSelf({"--hud", "--seconds", secondsText}).c_str(), stdout);
    std::fflush(stdout);
    sideBySide(seconds, warmup < 0 ? 20 : warmup, repeats);
    return 0;
}
