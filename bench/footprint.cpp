// The application's own cost as a user's machine carries it, beside `top -b -d 1` in the same run:
// the release binary started as a desktop starts it (a private temporary home; the dashboard on
// an X server with a window manager, Xvfb and openbox; as an ordinary user, `nobody` when this
// runs as root; with the open-file limit at 1024; in this pid namespace), with and without the
// dashboard, at a 1 s poll and at the default timers. Over a window after a warm-up it reads,
// from /proc, for the whole process tree (the process, its live descendants, and what exited
// children left in cutime/cstime, as top counts a program): CPU time as % of one core, the part
// of it spent in child processes, resident memory, and wake-ups (voluntary + involuntary context
// switches of all threads) per second. The runs and top go side by side; the whole set repeats
// and medians are shown, with the load average at the start and end of each round.
//
// FOOTPRINT_SECONDS (default 60), FOOTPRINT_WARMUP (default 20) and FOOTPRINT_REPEATS (default 3)
// shorten it for a quick look; VELTRANMOOR_BINARY names another binary; VELTRANMOOR_COMPARE_BINARY
// adds a second binary's runs to the same rounds (figures prefixed "compare_"); BENCH_DISPLAY is
// the first X display number tried (default 99). FOOTPRINT_AI_TOOLS=1 keeps two idle processes
// named like an AI tool running through the rounds, one of the application's user and one of
// this bench's (another user when the bench runs as root), as a machine with AI tools has them.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "BenchClock.h"
#include "Desktop.h"
#include "ProcessTree.h"


namespace {

int envSeconds(const char* name, int fallback)
{
    const char* v = std::getenv(name);
    return v && std::atoi(v) > 0 ? std::atoi(v) : fallback;
}

struct Scenario {
    std::string name;
    bool dashboard;
    bool fastPoll;
    std::string binary;
};

struct Figures {
    double cpuPercent = 0, childPercent = 0, rssMiB = 0, wakeupsPerSecond = 0, switchesPerSecond = 0;
    int processes = 0;
};

// The environment as a desktop gives it, moved into a private home; without the dashboard there
// is no display at all, which is how the application is told to open no window.
std::vector<std::string> appEnvironment(const QString& home, const std::string& display)
{
    std::vector<std::string> env = bench::homeEnvironment(home, {"DISPLAY=", "WAYLAND_DISPLAY="});
    if (!display.empty()) env.push_back("DISPLAY=" + display);
    return env;
}

// Sets the poll interval the way a user editing the settings file would; the running
// application follows its settings file.
bool setPollInterval(const bench::RunAs& who, const QString& settingsPath, double seconds)
{
    QFile in(settingsPath);
    if (!in.open(QIODevice::ReadOnly)) return false;
    QJsonObject values = QJsonDocument::fromJson(in.readAll()).object();
    in.close();
    if (values.isEmpty()) return false;
    values.insert(QStringLiteral("pollingIntervalSeconds"), seconds);
    const QString temp = settingsPath + QStringLiteral(".bench");
    QFile out(temp);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    out.write(QJsonDocument(values).toJson());
    out.close();
    bench::giveTo(who, temp);
    return ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(settingsPath).constData()) == 0;
}

double median(std::vector<double> v)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

int processCount()
{
    int n = 0;
    for (const QString& e : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        e.toInt(&number);
        if (number) ++n;
    }
    return n;
}

void stop(pid_t pid)
{
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        usleep(100000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

std::string loadAverage()
{
    return bench::slurp("/proc/loadavg").split(' ').mid(0, 3).join(' ').toStdString();
}

// One round: the runs of the application and top, side by side.
bool runRound(const bench::RunAs& who, const std::string& display, const std::vector<Scenario>& scenarios, int warmup,
              int window, std::vector<Figures>& out, Figures& top)
{
    std::vector<std::unique_ptr<QTemporaryDir>> homes;
    std::vector<bench::TreeTracker> trackers(scenarios.size() + 1);
    for (size_t i = 0; i < scenarios.size(); ++i) {
        homes.push_back(std::make_unique<QTemporaryDir>());
        bench::readyHome(who, homes.back()->path());
        trackers[i].pid = bench::spawnAs(who, {scenarios[i].binary},
                                         appEnvironment(homes.back()->path(), scenarios[i].dashboard ? display : std::string()),
                                         -1, homes.back()->path() + QStringLiteral("/console.log"));
    }
    QTemporaryDir topHome;
    bench::giveTo(who, topHome.path());
    trackers.back().pid = bench::spawnAs(who, {"/usr/bin/top", "-b", "-d", "1"}, appEnvironment(topHome.path(), {}), -1);

    bool ok = std::all_of(trackers.begin(), trackers.end(), [](const bench::TreeTracker& t) { return t.pid > 0; });
    // Start-up has written the settings (the profile sets its interval at launch); a 1 s poll
    // goes in after that.
    const double started = bench::monotonicMs();
    for (size_t i = 0; ok && i < scenarios.size(); ++i) {
        const QString settings = homes[i]->path() + QStringLiteral("/.config/Veltranmoor/settings.json");
        // The home starts with the first start's answer alone in it; start-up writes the rest.
        const auto written = [&] {
            QFile f(settings);
            return f.open(QIODevice::ReadOnly) && QJsonDocument::fromJson(f.readAll()).object().size() > 1;
        };
        while (!written() && bench::monotonicMs() - started < 30000) usleep(100000);
        if (!written()) {
            std::fprintf(stderr, "%s: no settings file after start-up\n", scenarios[i].name.c_str());
            ok = false;
        }
    }
    if (ok) {
        usleep(1000000);
        for (size_t i = 0; i < scenarios.size(); ++i) {
            if (scenarios[i].fastPoll &&
                !setPollInterval(who, homes[i]->path() + QStringLiteral("/.config/Veltranmoor/settings.json"), 1.0)) {
                std::fprintf(stderr, "%s: cannot set the poll interval\n", scenarios[i].name.c_str());
                ok = false;
            }
        }
    }
    if (ok) {
        sleep(unsigned(warmup));
        const std::string loadBefore = loadAverage();
        for (bench::TreeTracker& t : trackers) t.start();
        const double begin = bench::monotonicMs();
        for (int s = 0; s < window; ++s) {
            usleep(useconds_t(std::max(0.0, begin + (s + 1) * 1000.0 - bench::monotonicMs()) * 1000));
            for (bench::TreeTracker& t : trackers) t.look();
        }
        const double seconds = (bench::monotonicMs() - begin) / 1000.0;
        std::printf("round_load_average: %s -> %s\n", loadBefore.c_str(), loadAverage().c_str());
        for (size_t i = 0; i < trackers.size(); ++i) {
            const bench::TreeTracker& t = trackers[i];
            if (!t.first.ok || !t.last.ok || waitpid(t.pid, nullptr, WNOHANG) == t.pid) {
                std::fprintf(stderr, "%s: exited during the run\n", i < scenarios.size() ? scenarios[i].name.c_str() : "top");
                ok = false;
                continue;
            }
            Figures f;
            f.cpuPercent = t.cpuSeconds() / seconds * 100.0;
            f.childPercent = t.childSeconds() / seconds * 100.0;
            f.rssMiB = t.last.rssMiB;
            f.wakeupsPerSecond = double(t.wakeups()) / seconds;
            f.switchesPerSecond = double(t.switches()) / seconds;
            f.processes = t.mostProcesses;
            if (i < scenarios.size()) out[i] = f;
            else top = f;
        }
    }
    for (bench::TreeTracker& t : trackers) stop(t.pid);
    return ok;
}

}  // namespace

int main()
{
    const int window = envSeconds("FOOTPRINT_SECONDS", 60);
    const int warmup = envSeconds("FOOTPRINT_WARMUP", 20);
    const int repeats = envSeconds("FOOTPRINT_REPEATS", 3);
    std::string binary = std::getenv("VELTRANMOOR_BINARY") ? std::getenv("VELTRANMOOR_BINARY") : "";
    if (binary.empty()) {
        const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
        binary = QFile::encodeName(QFileInfo(self).absolutePath() + QStringLiteral("/../src/veltranmoor")).toStdString();
    }
    binary = QFile::encodeName(QFileInfo(QString::fromStdString(binary)).canonicalFilePath()).toStdString();
    const std::string compare = std::getenv("VELTRANMOOR_COMPARE_BINARY")
                                    ? QFile::encodeName(QFileInfo(QString::fromLocal8Bit(std::getenv("VELTRANMOOR_COMPARE_BINARY")))
                                                            .canonicalFilePath())
                                          .toStdString()
                                    : std::string();
    const bench::RunAs who = bench::ordinaryUser();
    for (const std::string& b : {binary, compare.empty() ? binary : compare}) {
        if (b.empty() || !bench::reachable(who, b)) {
            std::fprintf(stderr, "no application binary that %s can run at \"%s\"\n", who.name.c_str(), b.c_str());
            return 1;
        }
    }
    bench::Desktop desktop;
    if (!desktop.start()) {
        std::fprintf(stderr, "cannot start Xvfb and openbox on %s\n", desktop.display.c_str());
        return 1;
    }
    // Stand-ins for AI tools: a sleeping program under an AI tool's name.
    QTemporaryDir tools(QDir::tempPath() + QStringLiteral("/veltranmoor-bench-tools-XXXXXX"));
    std::vector<pid_t> standIns;
    if (std::getenv("FOOTPRINT_AI_TOOLS") && std::atoi(std::getenv("FOOTPRINT_AI_TOOLS")) > 0) {
        QFile::setPermissions(tools.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                                QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
        const QString tool = tools.path() + QStringLiteral("/claude");
        QFile::copy(QStringLiteral("/bin/sleep"), tool);
        const std::string path = QFile::encodeName(tool).toStdString();
        standIns.push_back(bench::spawnAs(who, {path, "100000"}, {"PATH=/usr/bin:/bin"}, -1));
        if (who.drop) standIns.push_back(bench::spawnAs(bench::RunAs{}, {path, "100000"}, {"PATH=/usr/bin:/bin"}, -1));
        std::printf("ai_tool_stand_ins: %zu (claude)\n", standIns.size());
    }
    struct StopStandIns {
        std::vector<pid_t>& pids;
        ~StopStandIns()
        {
            for (pid_t pid : pids) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
        }
    } stopStandIns{standIns};

    std::vector<Scenario> scenarios;
    for (const auto& [prefix, b] : {std::pair<std::string, std::string>{"", binary}, {"compare_", compare}}) {
        if (b.empty()) continue;
        scenarios.push_back({prefix + "no_window_1s_poll", false, true, b});
        scenarios.push_back({prefix + "dashboard_1s_poll", true, true, b});
        scenarios.push_back({prefix + "no_window_default_timers", false, false, b});
        scenarios.push_back({prefix + "dashboard_default_timers", true, false, b});
    }
    std::printf("user: %s\n", who.name.c_str());
    std::printf("open_file_limit: %d\n", int(bench::desktopOpenFileLimit));
    std::printf("display: %s (Xvfb, openbox)\n", desktop.display.c_str());
    std::printf("binary: %s\n", binary.c_str());
    if (!compare.empty()) std::printf("compare_binary: %s\n", compare.c_str());
    std::fflush(stdout);
    std::vector<std::vector<Figures>> rounds;
    std::vector<Figures> tops;
    for (int r = 0; r < repeats; ++r) {
        std::vector<Figures> figures(scenarios.size());
        Figures top;
        if (!runRound(who, desktop.display, scenarios, warmup, window, figures, top)) return 1;
        rounds.push_back(figures);
        tops.push_back(top);
        std::fflush(stdout);
    }

    auto med = [&](auto field, int scenario) {
        std::vector<double> v;
        for (size_t r = 0; r < rounds.size(); ++r) v.push_back(scenario < 0 ? field(tops[r]) : field(rounds[r][size_t(scenario)]));
        return median(v);
    };
    const auto cpu = [](const Figures& f) { return f.cpuPercent; };
    const auto child = [](const Figures& f) { return f.childPercent; };
    const auto rss = [](const Figures& f) { return f.rssMiB; };
    const auto wake = [](const Figures& f) { return f.wakeupsPerSecond; };
    const auto switches = [](const Figures& f) { return f.switchesPerSecond; };
    const auto procs = [](const Figures& f) { return double(f.processes); };
    auto ratio = [](double a, double b) { return b > 0 ? a / b : -1.0; };

    std::printf("processes: %d count\n", processCount());
    std::printf("load_average: %s\n", loadAverage().c_str());
    std::printf("window: %d s\n", window);
    std::printf("repeats: %d count\n", repeats);
    const double topCpu = med(cpu, -1), topRss = med(rss, -1), topWake = med(wake, -1);
    std::printf("top_cpu: %.3f %%core\n", topCpu);
    std::printf("top_rss: %.1f MiB\n", topRss);
    std::printf("top_wakeups: %.2f /s\n", topWake);
    std::printf("top_context_switches: %.2f /s\n", med(switches, -1));
    for (size_t i = 0; i < scenarios.size(); ++i) {
        const char* n = scenarios[i].name.c_str();
        const double c = med(cpu, int(i)), r = med(rss, int(i)), w = med(wake, int(i));
        std::printf("%s_cpu_tree: %.3f %%core\n", n, c);
        std::printf("%s_cpu_in_children: %.3f %%core\n", n, med(child, int(i)));
        std::printf("%s_tree_processes_most: %.0f count\n", n, med(procs, int(i)));
        std::printf("%s_rss: %.1f MiB\n", n, r);
        std::printf("%s_wakeups_tree: %.2f /s\n", n, w);
        std::printf("%s_context_switches_tree: %.2f /s\n", n, med(switches, int(i)));
        std::printf("%s_cpu_to_top: %.3f ratio\n", n, ratio(c, topCpu));
        std::printf("%s_rss_to_top: %.3f ratio\n", n, ratio(r, topRss));
        std::printf("%s_wakeups_to_top: %.3f ratio\n", n, ratio(w, topWake));
    }
    std::fflush(stdout);
    return 0;
}
