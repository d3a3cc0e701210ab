#include "monitoring/MonitorRules.h"

#include "core/CFormat.h"

#include <algorithm>
#include <cmath>

namespace MonitorRules {

namespace {

constexpr double gib = 1073741824.0;

int64_t truncated(double v)
{
    if (!std::isfinite(v)) return 0;
    return int64_t(std::trunc(std::clamp(v, -1e15, 1e15)));
}

int64_t clamp100(int64_t v) { return std::clamp<int64_t>(v, 0, 100); }

int64_t memoryScore(const PerformanceSnapshot& s)
{
    if (!(s.memoryTotal > 0)) return 100;
    const double ratio = s.memoryUsed / s.memoryTotal * 100.0;
    if (ratio < 60) return 100;
    if (ratio < 80) return truncated(100 - (ratio - 60) * 2.5);
    return std::max<int64_t>(0, truncated(100 - (ratio - 60) * 3.0));
}

int64_t diskScore(const PerformanceSnapshot& s)
{
    const double free = freeGB(s);
    if (free > 50) return 100;
    if (free > 20) return truncated((free - 20) / 30 * 50 + 50);
    if (free > 10) return truncated((free - 10) / 10 * 30 + 20);
    return std::max<int64_t>(0, truncated(free / 10 * 20));
}

int64_t thermalScore(ThermalLevel level)
{
    switch (level) {
    case ThermalLevel::nominal: return 100;
    case ThermalLevel::fair: return 70;
    case ThermalLevel::serious: return 40;
    case ThermalLevel::critical: return 10;
    }
    return 100;
}

uint64_t grown(uint64_t previous, uint64_t current) { return current > previous ? current - previous : 0; }

}  // namespace

HealthScore computeHealth(const PerformanceSnapshot& snapshot, const QDateTime& now)
{
    HealthScore h;
    h.timestamp = now;
    h.cpuScore = clamp100(truncated(100 - snapshot.cpuUsage));
    h.memoryScore = memoryScore(snapshot);
    h.diskScore = diskScore(snapshot);
    h.thermalScore = thermalScore(snapshot.thermalState);
    const double weighted = double(h.cpuScore) * 0.3 + double(h.memoryScore) * 0.3 + double(h.diskScore) * 0.2 +
                            double(h.thermalScore) * 0.2;
    h.score = clamp100(truncated(weighted));
    return h;
}

ThermalLevel thermalLevelFromState(int state)
{
    switch (state) {
    case 1: return ThermalLevel::fair;
    case 2: return ThermalLevel::serious;
    case 3: return ThermalLevel::critical;
    default: return ThermalLevel::nominal;
    }
}

ThermalLevel thermalLevelForTemperature(double celsius)
{
    if (celsius < 60.0) return ThermalLevel::nominal;
    if (celsius < 75.0) return ThermalLevel::fair;
    if (celsius < 90.0) return ThermalLevel::serious;
    return ThermalLevel::critical;
}

double hostCpuPercent(const CpuTicks& previous, const CpuTicks& current)
{
    const uint64_t user = grown(previous.user, current.user);
    const uint64_t system = grown(previous.system, current.system);
    const uint64_t idle = grown(previous.idle, current.idle);
    const uint64_t nice = grown(previous.nice, current.nice);
    const double total = double(user) + double(system) + double(idle) + double(nice);
    if (!(total > 0)) return 0;
    return (double(user) + double(system) + double(nice)) / total * 100.0;
}

double processCpuPercent(uint64_t previousNs, uint64_t currentNs, double elapsedSeconds)
{
    if (!(elapsedSeconds > 0) || currentNs < previousNs) return 0;
    const double divisor = elapsedSeconds <= 0.001 ? elapsedSeconds * 1e6 : elapsedSeconds * 1e9;
    const double percent = double(currentNs - previousNs) / divisor * 100.0;
    return percent > 0 ? percent : 0;
}

const QStringList& builtinProtectedProcesses()
{
    static const QStringList names = {
        "claude", "node",  "terminal", "iterm",  "warp",  "ghostty",     "kitty",  "alacritty", "tmux",      "screen",
        "ssh",    "sshd",  "mosh",     "bash",   "zsh",   "fish",        "sh",     "python",    "python3",   "ruby",
        "perl",   "go",    "cargo",    "rustc",  "deno",  "bun",         "code",   "code helper", "cursor",  "electron",
        "xcode",  "sourcekit", "swift", "clang", "git",   "gh",          "docker", "ollama",    "vim",       "nvim",
        "emacs",  "nano",  "ttm",      "aimd",   "loom",  "uvicorn",     "gunicorn"};
    return names;
}

bool isProtectedName(const QString& name, const QStringList& userListLowerCased)
{
    const QString lower = name.toLower();
    for (const QString& fragment : userListLowerCased) {
        if (lower.contains(fragment)) return true;
    }
    for (const QString& fragment : builtinProtectedProcesses()) {
        if (lower.contains(fragment)) return true;
    }
    return false;
}

bool isUntouchable(const ProcessInfoItem& process) { return process.pid <= 1 || process.isKernelThread; }

double freeGB(const PerformanceSnapshot& snapshot)
{
    if (snapshot.diskUsed > snapshot.diskTotal) return 0;
    return double(snapshot.diskTotal - snapshot.diskUsed) / gib;
}

std::optional<double> rootFreeGB(const PerformanceSnapshot& snapshot)
{
    if (snapshot.rootDiskTotal == 0 || snapshot.rootDiskUsed > snapshot.rootDiskTotal) return std::nullopt;
    return double(snapshot.rootDiskTotal - snapshot.rootDiskUsed) / gib;
}

QString throttleDetail(int32_t pid, double cpuPercent, double elapsedSeconds, const QString& reason)
{
    return QStringLiteral("PID ") + QString::number(pid) + QStringLiteral(" at ") + cformat("%.1f", cpuPercent) +
           QStringLiteral("% for ") + QString::number(truncated(elapsedSeconds)) + QStringLiteral("s \u2014 ") + reason;
}

QString autoSwitchReason(const QString& mode, int batteryLevel, bool charging)
{
    if (mode == QLatin1String("Max Performance")) return QStringLiteral("High load detected, plugged in");
    if (mode == QLatin1String("Balanced")) return QStringLiteral("Standard usage pattern");
    if (mode == QLatin1String("Battery Saver")) {
        return QStringLiteral("Battery at ") + QString::number(batteryLevel) + QStringLiteral("%") + (charging ? QString() : QStringLiteral(", not charging"));
    }
    if (mode == QLatin1String("Creative Work")) return QStringLiteral("Creative application detected");
    if (mode == QLatin1String("Developer")) return QStringLiteral("Development environment detected");
    if (mode == QLatin1String("Gaming")) return QStringLiteral("Gaming application detected");
    return {};
}

}  // namespace MonitorRules
