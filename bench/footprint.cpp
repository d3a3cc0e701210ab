// The application's own cost as a user's machine carries it, beside `top -b -d 1` in the same run:
// the release binary started as `make run` starts it (a private temporary home, offscreen), with
// and without the dashboard, at a 1 s poll and at the default timers. Over a window after a
// warm-up it reads, from /proc: CPU time of the process and its waited-for children as % of one
// core, resident memory, and wake-ups (voluntary + involuntary context switches of all threads)
// per second. The four runs and top go side by side; the whole set repeats and medians are shown.
//
// FOOTPRINT_SECONDS (default 60), FOOTPRINT_WARMUP (default 20) and FOOTPRINT_REPEATS (default 3)
// shorten it for a quick look; VELTRANMOOR_BINARY names another binary.
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

extern char** environ;

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
};

// What /proc tells about a process at one moment.
struct Reading {
    bool ok = false;
    double cpuSeconds = 0;       // utime + stime + cutime + cstime
    double childSeconds = 0;     // cutime + cstime
    double rssMiB = 0;
    std::map<long, long> switchesByThread;  // tid -> voluntary + involuntary
};

QByteArray slurp(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

long statusField(const QByteArray& status, const char* key)
{
    const int at = status.indexOf(key);
    if (at < 0) return -1;
    const int end = status.indexOf('\n', at);
    return status.mid(at + int(strlen(key)), end - at - int(strlen(key))).trimmed().split(' ').value(0).toLong();
}

Reading readProc(pid_t pid)
{
    Reading r;
    const QByteArray stat = slurp(QStringLiteral("/proc/%1/stat").arg(pid));
    const int close = stat.lastIndexOf(')');
    if (close < 0) return r;
    // Fields after the name, numbered from 3 (state): utime is 14, stime 15, cutime 16, cstime 17.
    const QList<QByteArray> f = stat.mid(close + 2).split(' ');
    if (f.size() < 15) return r;
    const double tick = double(sysconf(_SC_CLK_TCK));
    const double utime = f[11].toDouble(), stime = f[12].toDouble(), cutime = f[13].toDouble(), cstime = f[14].toDouble();
    r.cpuSeconds = (utime + stime + cutime + cstime) / tick;
    r.childSeconds = (cutime + cstime) / tick;
    r.rssMiB = double(statusField(slurp(QStringLiteral("/proc/%1/status").arg(pid)), "VmRSS:")) / 1024.0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray s = slurp(tasks.filePath(tid) + QStringLiteral("/status"));
        const long v = statusField(s, "voluntary_ctxt_switches:");
        const long n = statusField(s, "nonvoluntary_ctxt_switches:");
        if (v >= 0 && n >= 0) r.switchesByThread[tid.toLong()] = v + n;
    }
    r.ok = true;
    return r;
}

// Follows one process through the window, a look each second, so that switches of threads that
// come and go within it (a thread pool's workers) are counted too.
struct Tracker {
    pid_t pid = -1;
    Reading first;
    Reading last;
    std::map<long, long> firstSeen;
    std::map<long, long> lastSeen;

    void start()
    {
        first = last = readProc(pid);
        firstSeen = lastSeen = first.switchesByThread;
    }
    void look()
    {
        const Reading now = readProc(pid);
        if (!now.ok) return;
        last = now;
        for (const auto& [tid, n] : now.switchesByThread) {
            if (!firstSeen.count(tid)) firstSeen[tid] = 0;  // born inside the window
            lastSeen[tid] = n;
        }
    }
    long switches() const
    {
        long total = 0;
        for (const auto& [tid, n] : lastSeen) total += n - firstSeen.at(tid);
        return total;
    }
};

struct Figures {
    double cpuPercent = 0, childPercent = 0, rssMiB = 0, wakeupsPerSecond = 0;
};

pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, const QString& logPath)
{
    std::vector<char*> argv, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray log = QFile::encodeName(logPath);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The environment as `make run` gives it, moved into a private home; without the dashboard there
// is no display at all, which is how the application is told to open no window.
std::vector<std::string> appEnvironment(const QString& home, bool dashboard)
{
    std::vector<std::string> env;
    const std::vector<std::string> replaced = {"HOME=", "XDG_CONFIG_HOME=", "XDG_DATA_HOME=", "XDG_CACHE_HOME=",
                                                "XDG_STATE_HOME=", "XDG_RUNTIME_DIR=", "DISPLAY=", "WAYLAND_DISPLAY=",
                                                "QT_QPA_PLATFORM=", "DBUS_SESSION_BUS_ADDRESS="};
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const bool drop = std::any_of(replaced.begin(), replaced.end(),
                                      [&](const std::string& p) { return entry.rfind(p, 0) == 0; });
        if (!drop) env.push_back(entry);
    }
    const std::string h = QFile::encodeName(home).toStdString();
    env.push_back("HOME=" + h);
    env.push_back("XDG_CONFIG_HOME=" + h + "/.config");
    env.push_back("XDG_DATA_HOME=" + h + "/.local/share");
    env.push_back("XDG_CACHE_HOME=" + h + "/.cache");
    env.push_back("XDG_STATE_HOME=" + h + "/.local/state");
    env.push_back("XDG_RUNTIME_DIR=" + h + "/run");
    if (dashboard) env.push_back("QT_QPA_PLATFORM=offscreen");
    return env;
}

// Sets the poll interval the way a user editing the settings file would; the running
// application follows its settings file.
bool setPollInterval(const QString& settingsPath, double seconds)
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

// One round: the four runs of the application and top, side by side.
bool runRound(const std::string& binary, const std::vector<Scenario>& scenarios, int warmup, int window,
           std::vector<Figures>& out, Figures& top)
{
    std::vector<std::unique_ptr<QTemporaryDir>> homes;
    std::vector<Tracker> trackers(scenarios.size() + 1);
    for (size_t i = 0; i < scenarios.size(); ++i) {
        homes.push_back(std::make_unique<QTemporaryDir>());
        QDir(homes.back()->path()).mkpath(QStringLiteral("run"));
        QFile::setPermissions(homes.back()->path() + QStringLiteral("/run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        trackers[i].pid = spawn({binary}, appEnvironment(homes.back()->path(), scenarios[i].dashboard),
                                homes.back()->path() + QStringLiteral("/console.log"));
    }
    QTemporaryDir topHome;
    trackers.back().pid = spawn({"/usr/bin/top", "-b", "-d", "1"}, appEnvironment(topHome.path(), false), QStringLiteral("/dev/null"));

    bool ok = std::all_of(trackers.begin(), trackers.end(), [](const Tracker& t) { return t.pid > 0; });
    // Start-up has written the settings (the profile sets its interval at launch); a 1 s poll
    // goes in after that.
    const double started = bench::monotonicMs();
    for (size_t i = 0; ok && i < scenarios.size(); ++i) {
        const QString settings = homes[i]->path() + QStringLiteral("/.config/Veltranmoor/settings.json");
        while (!QFileInfo::exists(settings) && bench::monotonicMs() - started < 15000) usleep(100000);
        if (!QFileInfo::exists(settings)) {
            std::fprintf(stderr, "%s: no settings file after start-up\n", scenarios[i].name.c_str());
            ok = false;
        }
    }
    if (ok) {
        usleep(1000000);
        for (size_t i = 0; i < scenarios.size(); ++i) {
            if (scenarios[i].fastPoll &&
                !setPollInterval(homes[i]->path() + QStringLiteral("/.config/Veltranmoor/settings.json"), 1.0)) {
                std::fprintf(stderr, "%s: cannot set the poll interval\n", scenarios[i].name.c_str());
                ok = false;
            }
        }
    }
    if (ok) {
        sleep(unsigned(warmup));
        for (Tracker& t : trackers) t.start();
        const double begin = bench::monotonicMs();
        for (int s = 0; s < window; ++s) {
            usleep(useconds_t(std::max(0.0, begin + (s + 1) * 1000.0 - bench::monotonicMs()) * 1000));
            for (Tracker& t : trackers) t.look();
        }
        const double seconds = (bench::monotonicMs() - begin) / 1000.0;
        for (size_t i = 0; i < trackers.size(); ++i) {
            const Tracker& t = trackers[i];
            if (!t.first.ok || !t.last.ok || waitpid(t.pid, nullptr, WNOHANG) == t.pid) {
                std::fprintf(stderr, "%s: exited during the run\n", i < scenarios.size() ? scenarios[i].name.c_str() : "top");
                ok = false;
                continue;
            }
            Figures f;
            f.cpuPercent = (t.last.cpuSeconds - t.first.cpuSeconds) / seconds * 100.0;
            f.childPercent = (t.last.childSeconds - t.first.childSeconds) / seconds * 100.0;
            f.rssMiB = t.last.rssMiB;
            f.wakeupsPerSecond = double(t.switches()) / seconds;
            if (i < scenarios.size()) out[i] = f;
            else top = f;
        }
    }
    for (Tracker& t : trackers) stop(t.pid);
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
    if (!QFileInfo(QString::fromStdString(binary)).isExecutable()) {
        std::fprintf(stderr, "no application binary at %s\n", binary.c_str());
        return 1;
    }

    const std::vector<Scenario> scenarios = {
        {"no_window_1s_poll", false, true},
        {"dashboard_1s_poll", true, true},
        {"no_window_default_timers", false, false},
        {"dashboard_default_timers", true, false},
    };
    std::vector<std::vector<Figures>> rounds;
    std::vector<Figures> tops;
    for (int r = 0; r < repeats; ++r) {
        std::vector<Figures> figures(scenarios.size());
        Figures top;
        if (!runRound(binary, scenarios, warmup, window, figures, top)) return 1;
        rounds.push_back(figures);
        tops.push_back(top);
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
    auto ratio = [](double a, double b) { return b > 0 ? a / b : -1.0; };

    std::printf("processes: %d count\n", processCount());
    std::printf("window: %d s\n", window);
    std::printf("repeats: %d count\n", repeats);
    const double topCpu = med(cpu, -1), topRss = med(rss, -1), topWake = med(wake, -1);
    std::printf("top_cpu: %.3f %%core\n", topCpu);
    std::printf("top_rss: %.1f MiB\n", topRss);
    std::printf("top_wakeups: %.2f /s\n", topWake);
    for (size_t i = 0; i < scenarios.size(); ++i) {
        const char* n = scenarios[i].name.c_str();
        const double c = med(cpu, int(i)), r = med(rss, int(i)), w = med(wake, int(i));
        std::printf("%s_cpu: %.3f %%core\n", n, c);
        std::printf("%s_cpu_in_children: %.3f %%core\n", n, med(child, int(i)));
        std::printf("%s_rss: %.1f MiB\n", n, r);
        std::printf("%s_wakeups: %.2f /s\n", n, w);
        std::printf("%s_cpu_to_top: %.3f ratio\n", n, ratio(c, topCpu));
        std::printf("%s_rss_to_top: %.3f ratio\n", n, ratio(r, topRss));
        std::printf("%s_wakeups_to_top: %.3f ratio\n", n, ratio(w, topWake));
    }
    std::fflush(stdout);
    return 0;
}
